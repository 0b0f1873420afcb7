#pragma once

// Symbols of the public interface are the only ones the shared library exports.
#if defined(ZQB_BUILDING_LIBRARY)
#define ZQB_EXPORT __attribute__((visibility("default")))
#else
#define ZQB_EXPORT
#endif

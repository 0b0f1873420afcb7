#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>

#include <cstdint>

/// Told the numeric user id that the analytics service assigns to this device's user. Register one with
/// `ZQBAnalytics::setIdentifiersListener`; the library keeps it until it is replaced.
///
/// It is called on one of the library's threads (never the thread that registered it): once at
/// registration when an id is already known, and again whenever the service answers with a new non-zero id.
class ZQB_EXPORT ZQBIdentifiersListener {
public:
    virtual ~ZQBIdentifiersListener();

    /// Receives the id. The default does nothing, for listeners that only want to be registered.
    virtual void didReceiveVorantelIdWith(int64_t vorantelId);
};

#pragma once

namespace zqb {

enum class RequestType : int { GET = 0, POST = 1 };

}  // namespace zqb

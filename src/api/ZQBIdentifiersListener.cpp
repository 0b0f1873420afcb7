#include <ZQBAnalytics/ZQBIdentifiersListener.hpp>

ZQBIdentifiersListener::~ZQBIdentifiersListener() = default;

void ZQBIdentifiersListener::didReceiveVorantelIdWith(int64_t) {}

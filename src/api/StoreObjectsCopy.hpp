#pragma once

#include "host/StoreKit.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

namespace zqb {

// The store's transaction as a queued call carries it, with valid UTF-8 texts. Only the original
// transaction's own fields are kept (one level): nothing reads further, and the host's chain may be long or
// even circular.
host::PaymentTransaction paymentTransactionCopy(const ZQBStoreTransaction& transaction);

// The store's product as a queued call carries it, with valid UTF-8 texts. The prices stay texts: they are
// read on the income queue, where the payment is processed in its order.
host::StoreProductTexts storeProductCopy(const ZQBStoreProduct& product);

}  // namespace zqb

#include "logic/AntiCheatLogic.hpp"

#include "backend/Receipt.hpp"
#include "backend/VerifyResponseFactory.hpp"
#include "foundation/Logger.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "host/Environment.hpp"
#include "services/AntiCheatServiceProctocol.hpp"
#include "validation/Validator.hpp"

#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

namespace zqb {

// The caller's handler, called once: with the first answer, or with `internalError` when the last block
// holding it is released unanswered.
class AntiCheatLogic::Completion {
public:
    explicit Completion(VerifyHandler handler) : handler_(std::move(handler)) {}
    ~Completion() {
        try {
            answer(VerifyResponseFactory::make(ZQBReceiptStatus::internalError));
        } catch (...) {
            // A destructor must not throw; the public front already logs what a host's handler throws.
        }
    }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    // Called on one queue at a time: the blocks that hold it run one after the other.
    void answer(const ZQBVerifyResponse& response) {
        if (const VerifyHandler handler = std::exchange(handler_, nullptr)) {
            handler(response);
        }
    }

private:
    VerifyHandler handler_;
};

std::shared_ptr<AntiCheatLogic> AntiCheatLogic::create(QueueManager& incomeQueue,
                                                       QueueManager& anticheatQueue,
                                                       host::Environment& environment) {
    return std::shared_ptr<AntiCheatLogic>(new AntiCheatLogic(incomeQueue, anticheatQueue, environment));
}

AntiCheatLogic::AntiCheatLogic(QueueManager& incomeQueue, QueueManager& anticheatQueue,
                               host::Environment& environment)
    : incomeQueue_(incomeQueue), anticheatQueue_(anticheatQueue), environment_(environment) {}

std::shared_ptr<AntiCheatServiceProctocol> AntiCheatLogic::antiCheatService() const {
    std::lock_guard lock(mutex_);
    return antiCheatService_;
}

void AntiCheatLogic::setAntiCheatService(std::shared_ptr<AntiCheatServiceProctocol> antiCheatService) {
    std::lock_guard lock(mutex_);
    antiCheatService_.swap(antiCheatService);
}

void AntiCheatLogic::verifyPayment(std::string receiptString, VerifyHandler completionHandler) {
    enqueue(
        [receipt = std::move(receiptString)]() -> std::optional<std::string> {
            if (receipt.empty()) {
                Logger::writeLog(ZQBLogLevel::error, "Invalid receipt data.");
                return std::nullopt;
            }
            return receipt;
        },
        std::move(completionHandler));
}

void AntiCheatLogic::verifyPaymentWithCompletion(VerifyHandler completionHandler) {
    // Read on the income queue while the logic is held there.
    enqueue([this] { return readApplicationReceipt(); }, std::move(completionHandler));
}

void AntiCheatLogic::enqueue(ReceiptSource receipt, VerifyHandler completionHandler) {
    incomeQueue_.addOperation([weak = weak_from_this(), receipt = std::move(receipt),
                               completion = std::make_shared<Completion>(std::move(completionHandler))] {
        if (const auto self = weak.lock()) {
            self->check(receipt, completion);
        } else {
            completion->answer(VerifyResponseFactory::make(ZQBReceiptStatus::internalError));
        }
    });
}

void AntiCheatLogic::check(const ReceiptSource& receipt, const std::shared_ptr<Completion>& completion) {
    const auto service = antiCheatService();
    if (!service) {
        Logger::writeLog(ZQBLogLevel::error,
                         Validator::messageHead("VerifyPayment") + "The SDK is not initialized yet!");
        completion->answer(VerifyResponseFactory::make(ZQBReceiptStatus::internalError));
        return;
    }
    std::optional<std::string> receiptData = receipt();
    if (!receiptData) {
        completion->answer(VerifyResponseFactory::make(ZQBReceiptStatus::internalError));
        return;
    }
    // Taken here, where the state lives, and handed over by value.
    anticheatQueue_.addOperation([self = shared_from_this(), receiptData = std::move(*receiptData),
                                  sender = service->receiptSender(),
                                  completion] { self->send(receiptData, sender, *completion); });
}

void AntiCheatLogic::send(const std::string& receiptData, const ReceiptSender& sender,
                          Completion& completion) const {
    Receipt receipt;
    receipt.receipt.data = receiptData;
    if (std::string identifier = environment_.bundle()->info().identifier; !identifier.empty()) {
        receipt.bundle = std::move(identifier);
    }
    const auto service = antiCheatService();
    completion.answer(service ? service->receiveReceiptStatus(receipt, sender)
                              : VerifyResponseFactory::make(ZQBReceiptStatus::internalError));
}

std::optional<std::string> AntiCheatLogic::readApplicationReceipt() const {
    const auto path = environment_.bundle()->appStoreReceiptPath();
    std::error_code error;
    if (!path || !std::filesystem::exists(*path, error)) {
        return std::nullopt;
    }
    std::string bytes;
    if (host::AtomicFile::read(*path, bytes, std::numeric_limits<std::size_t>::max(), &error) !=
        host::AtomicFile::ReadStatus::ok) {
        // A file removed since it was found is as missing as one never there.
        if (error) {
            Logger::writeLog(ZQBLogLevel::error, "Couldn't read receipt data. Error: " + error.message());
        }
        return std::nullopt;
    }
    return text::base64Encode(bytes);
}

}  // namespace zqb

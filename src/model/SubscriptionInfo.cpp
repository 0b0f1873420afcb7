#include "model/SubscriptionInfo.hpp"

#include "model/JsonText.hpp"

#include <exception>
#include <stdexcept>
#include <string>

namespace zqb {
namespace {

template <typename T>
std::vector<T> listFromText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    // An unreadable list is not an error: the next write of the row replaces it.
    try {
        return JsonText::parse(text).get<std::vector<T>>();
    } catch (const std::exception&) {
        return {};
    }
}

// Integers only: nlohmann would otherwise cut a fractional number silently.
int64_t integerMember(const nlohmann::ordered_json& json, const char* key) {
    const auto& member = json.at(key);
    if (!member.is_number_integer()) {
        throw std::invalid_argument(std::string("Expected to decode Int for \"") + key + "\" but found " +
                                    member.type_name() + " instead.");
    }
    return member.get<int64_t>();
}

}  // namespace

SubscriptionInfo::SubscriptionInfo(int64_t projectId) : projectId(projectId) {}

std::vector<SubscriptionProduct> SubscriptionInfo::productsFromText(std::string_view text) {
    return listFromText<SubscriptionProduct>(text);
}

std::vector<RestoredTransaction> SubscriptionInfo::restoredTransactionsFromText(std::string_view text) {
    return listFromText<RestoredTransaction>(text);
}

std::shared_ptr<SubscriptionInfo> SubscriptionInfo::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto projectId = rowInteger(row, 1);
    const auto productsText = rowText(row, 2);
    const auto transactionsText = rowText(row, 3);
    if (!id || !projectId || !productsText || !transactionsText) {
        return nullptr;
    }
    auto info = std::make_shared<SubscriptionInfo>(*projectId);
    info->idKey = *id;
    info->products = productsFromText(*productsText);
    info->restoredTransaction = restoredTransactionsFromText(*transactionsText);
    info->alreadyRestored = rowFlag(row, 4);
    info->productIsChanged = rowFlag(row, 5);
    info->alreadySendRestoreEvent = rowFlag(row, 6);
    return info;
}

void to_json(nlohmann::ordered_json& json, const SubscriptionInfo& info) {
    json = nlohmann::ordered_json::object();
    json["idKey"] = info.idKey;
    json["projectId"] = info.projectId;
    json["products"] = info.products;
    json["restoredTransaction"] = info.restoredTransaction;
    json["alreadyRestored"] = info.alreadyRestored;
    json["alreadySendRestoreEvent"] = info.alreadySendRestoreEvent;
    json["productIsChanged"] = info.productIsChanged;
}

void from_json(const nlohmann::ordered_json& json, SubscriptionInfo& info) {
    SubscriptionInfo read(integerMember(json, "projectId"));
    read.idKey = integerMember(json, "idKey");
    read.products = json.at("products").get<std::vector<SubscriptionProduct>>();
    read.restoredTransaction = json.at("restoredTransaction").get<std::vector<RestoredTransaction>>();
    read.alreadyRestored = json.at("alreadyRestored").get<bool>();
    read.alreadySendRestoreEvent = json.at("alreadySendRestoreEvent").get<bool>();
    read.productIsChanged = json.at("productIsChanged").get<bool>();
    info = std::move(read);
}

}  // namespace zqb

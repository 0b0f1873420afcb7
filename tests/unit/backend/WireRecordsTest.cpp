#include "backend/BackendIdentifiers.hpp"
#include "backend/MessagingConfig.hpp"
#include "backend/MessagingRequestObject.hpp"
#include "backend/Receipt.hpp"
#include "backend/ReceiptResult.hpp"
#include "backend/VerifyResponseFactory.hpp"
#include "backend/Versions.hpp"
#include "backend/WireReader.hpp"
#include "model/JsonText.hpp"
#include "network/ZQBError.hpp"

#include <gtest/gtest.h>
#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

template <typename T>
std::string written(const T& value) {
    return JsonText::write(Json(value));
}

TEST(Versions, WritesAppVersionAsNullAndLeavesOutAbsentVersions) {
    Versions versions{"2.1.2", 10, std::nullopt, "45", std::nullopt, std::nullopt};
    EXPECT_EQ(written(versions), R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":null})");
    versions.appVersion = "1.0";
    versions.excludeVersion = 3;
    versions.sbsConfigVersion = -1;
    EXPECT_EQ(
        written(versions),
        R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.0","excludeVersion":3,"sbsConfigVersion":-1})");
}

TEST(BackendIdentifiers, DescribesOnlyThePresentNumbers) {
    using Identifiers = BackendIdentifiers::Identifiers;
    EXPECT_EQ(Identifiers{}.description(), "Empty failed");
    EXPECT_EQ((Identifiers{std::nullopt, 7, std::nullopt}.description()), "\n\tcrossPlatformVorantelId: 7");
    EXPECT_EQ((Identifiers{1, -2, 3}.description()),
              "\tvorantelId: 1\n\tcrossPlatformVorantelId: -2\n\tvorantelIdTimestamp: 3");
}

TEST(BackendIdentifiers, ReadsAndWritesItsBodies) {
    using Identifiers = BackendIdentifiers::Identifiers;
    EXPECT_EQ(Identifiers::fromJson(Json::object()), Identifiers{});
    EXPECT_EQ(
        Identifiers::fromJson(Json::parse(R"({"vorantelId": 5, "vorantelIdTimestamp": null, "x": "y"})")),
        (Identifiers{5, std::nullopt, std::nullopt}));
    EXPECT_THROW(Identifiers::fromJson(Json::parse(R"({"vorantelId": "5"})")), WireDecodingError);
    EXPECT_THROW(Identifiers::fromJson(Json::array()), WireDecodingError);
    EXPECT_EQ(written(Identifiers{5, std::nullopt, 9}), R"({"vorantelId":5,"vorantelIdTimestamp":9})");

    using RetryAfter = BackendIdentifiers::RetryAfter;
    EXPECT_EQ(RetryAfter::fromJson(Json::parse(R"({"retryAfter": 1500})")).retryAfter, 1500);
    for (const char* text :
         {R"({"retryAfter": "1500"})", R"({})", R"({"retryAfter": null})", R"({"retryAfter": 1.5})"}) {
        EXPECT_THROW(RetryAfter::fromJson(Json::parse(text)), WireDecodingError) << text;
    }
    EXPECT_EQ(written(RetryAfter{1500}), R"({"retryAfter":1500})");
    EXPECT_EQ(written(BackendIdentifiers::Attempt{3}), R"({"attempt":3})");
}

TEST(BackendIdentifiers, CasesCarryTheirPayloads) {
    EXPECT_EQ(BackendIdentifiers::retryAfter(5000).retryAfterValue(), 5000);
    EXPECT_FALSE(BackendIdentifiers::doNotRetry().retryAfterValue());
    EXPECT_TRUE(BackendIdentifiers::doNotRetry().isDoNotRetry());
    EXPECT_EQ(*BackendIdentifiers::error("x").errorValue(), "x");
    EXPECT_EQ(BackendIdentifiers::identifiers({1, 2, 3}).identifiersValue()->vorantelIdTimestamp, 3);
    EXPECT_EQ(BackendIdentifiers::identifiers({}).errorValue(), nullptr);
}

TEST(ZQBError, ItsLocalizedDescriptionIsItsText) {
    const ZQBError error("any text \xC3\xA9");
    EXPECT_EQ(error.localizedDescription(), "any text \xC3\xA9");
    EXPECT_STREQ(error.what(), "any text \xC3\xA9");
}

TEST(Receipt, WritesTheVerificationBody) {
    Receipt receipt;
    receipt.receipt.data = "abc";
    EXPECT_EQ(written(receipt), R"({"platform":"ios","receipt":{"receipt-data":"abc","password":""}})");
    receipt.bundle = "com.example";
    EXPECT_EQ(written(receipt),
              R"({"platform":"ios","receipt":{"receipt-data":"abc","password":""},"bundle":"com.example"})");
}

TEST(ReceiptResult, BothMembersAreOptionalButTyped) {
    const auto read = [](const char* text) { return ReceiptResult::fromJson(Json::parse(text)); };
    EXPECT_EQ(read(R"({"status": 1, "verificationResult": "x", "other": []})").status, 1);
    EXPECT_EQ(read(R"({"status": 1, "verificationResult": "x"})").verificationResult, "x");
    EXPECT_FALSE(read(R"({"status": null})").status);
    EXPECT_FALSE(read(R"({})").verificationResult);
    EXPECT_THROW(read(R"({"status": "1"})"), WireDecodingError);
    EXPECT_THROW(read(R"({"verificationResult": 1})"), WireDecodingError);
    EXPECT_THROW(read(R"([])"), WireDecodingError);
}

TEST(ZQBVerifyResponse, DescribesStatusAndText) {
    EXPECT_EQ(VerifyResponseFactory::make(ZQBReceiptStatus::internalError).description(),
              "receiptStatus: [Receipt internal error]");
    EXPECT_EQ(VerifyResponseFactory::make(ZQBReceiptStatus::valid, "ok").description(),
              "receiptStatus: [Receipt valid] verificationResult: [ok]");
}

TEST(MessagingRecords, WriteTheRequestAndCategoriesInTheirKeyOrder) {
    MessagingRequestObject request{"2.1.2", 10, "1.0", 0, std::nullopt};
    EXPECT_EQ(written(request),
              R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.0","categoriesVersion":0})");
    request.language = "de";
    EXPECT_EQ(
        written(request),
        R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.0","categoriesVersion":0,"language":"de"})");

    const MessagingCategory category{5, "c", {{"b1", "Open", "foreground"}, {"b2", "Later", std::nullopt}}};
    EXPECT_EQ(
        written(category),
        R"({"id":"c","buttons":[{"id":"b1","text":"Open","activationMode":"foreground"},{"id":"b2","text":"Later"}]})");
    const auto buttons = MessagingCategory::buttonsFromJson(Json::parse(written(category.buttons)));
    EXPECT_EQ(buttons, category.buttons);
}

TEST(MessagingRecords, ReadTheAnswerOrNothingAtAll) {
    const auto read = [](const char* text) { return MessagingConfig::fromAnswer(Json::parse(text)); };
    const MessagingConfig empty =
        read(R"({"pushCategories": {"version": 3, "categories": [], "removed": null}})");
    EXPECT_EQ(empty.version, 3);
    EXPECT_TRUE(empty.categories.empty());
    EXPECT_FALSE(empty.removed);

    const MessagingConfig full = read(R"({"other": 1, "pushCategories": {"version": 4, "removed": ["x"],
        "categories": [{"id": "c", "buttons": [{"id": "b", "text": "t", "activationMode": null}], "more": 1}]}})");
    EXPECT_EQ(full.version, 4);
    ASSERT_EQ(full.categories.size(), 1u);
    EXPECT_EQ(full.categories[0].idKey, -1);
    EXPECT_EQ(full.categories[0].id, "c");
    EXPECT_EQ(full.categories[0].buttons, (std::vector<MassagingButtonInfo>{{"b", "t", std::nullopt}}));
    EXPECT_EQ(full.removed, std::vector<std::string>{"x"});

    for (const char* text :
         {R"({})", R"({"pushCategories": null})", R"({"pushCategories": {"version": 3}})",
          R"({"pushCategories": {"version": 3, "categories": null}})",
          R"({"pushCategories": {"categories": []}})",
          R"({"pushCategories": {"version": 3, "categories": [{"id": "c"}]}})",
          R"({"pushCategories": {"version": 3, "categories": [{"id": "c", "buttons": [{"id": "b"}]}]}})",
          R"({"pushCategories": {"version": 3, "categories": [], "removed": [1]}})",
          R"({"pushCategories": {"version": "3", "categories": []}})", R"([])",
          R"({"pushCategories": {"version": true, "categories": []}})",
          R"({"pushCategories": {"version": 3, "categories": "c"}})",
          R"({"pushCategories": {"version": 3, "categories": [], "removed": "x"}})",
          R"({"pushCategories": {"version": 3, "categories": [{"id": "c", "buttons": null}]}})",
          R"({"pushCategories": {"version": 3, "categories": [{"id": "c", "buttons": [{"id": "b", "text": "t",
              "activationMode": 1}]}]}})"}) {
        EXPECT_THROW(read(text), WireDecodingError) << text;
    }
}

}  // namespace
}  // namespace zqb

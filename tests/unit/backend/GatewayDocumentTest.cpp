// The examples of docs/gateway.md, the page a gateway of one's own is written from, go through the
// library's own encoders and decoders: each documented request is what the library sends, each documented
// answer reads as the page says. A fenced block marked "gateway:<name>" (and the status it is answered
// with) is an example.

#include "backend/Backend.hpp"
#include "foundation/TextUtils.hpp"
#include "host/CurlHttpSession.hpp"
#include "host/Environment.hpp"
#include "model/JsonText.hpp"
#include "network/BackendConfigUrl.hpp"
#include "support/EveryRecordText.hpp"
#include "support/GatewayClient.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SourceTree.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace zqb {
namespace {

using test::LoopbackGateway;
using PlainJson = nlohmann::json;  // member order carries no meaning

struct DocumentedExample {
    std::optional<int> status;  // the status an answer is given with
    std::string text;
};

// The members the page's table of events names for one code: those always there and those there when given.
struct DocumentedEvent {
    std::set<std::string> always;
    std::set<std::string> whenGiven;
};

// The names in backquotes of a table cell, leaving out those in parentheses (the members of a member).
std::set<std::string> quotedNames(const std::string& cell) {
    std::set<std::string> names;
    int depth = 0;
    for (std::size_t at = 0; at < cell.size(); ++at) {
        if (cell[at] == '(') {
            ++depth;
        } else if (cell[at] == ')') {
            --depth;
        } else if (cell[at] == '`') {
            const auto end = cell.find('`', at + 1);
            if (end == std::string::npos) {
                break;
            }
            if (depth == 0) {
                names.insert(cell.substr(at + 1, end - at - 1));
            }
            at = end;
        }
    }
    return names;
}

// The page's table of events, by code.
std::map<std::string, DocumentedEvent> documentedEvents() {
    std::ifstream file(test::sourceTree() / "docs" / "gateway.md");
    std::map<std::string, DocumentedEvent> events;
    bool inTable = false;
    for (std::string line; std::getline(file, line);) {
        if (line == "| code | event | always | when given |") {
            inTable = true;
            continue;
        }
        if (!inTable || line.rfind("|---", 0) == 0) {
            continue;
        }
        if (line.rfind("| `", 0) != 0) {
            break;
        }
        std::vector<std::string> cells;
        std::istringstream row(line.substr(1));
        for (std::string cell; std::getline(row, cell, '|');) {
            cells.push_back(cell);
        }
        EXPECT_EQ(cells.size(), 4u) << line;
        if (cells.size() == 4) {
            const auto code = quotedNames(cells[0]);
            EXPECT_EQ(code.size(), 1u) << line;
            events[*code.begin()] = DocumentedEvent{quotedNames(cells[2]), quotedNames(cells[3])};
        }
    }
    return events;
}

// The examples of the page by name.
std::map<std::string, DocumentedExample> documentedExamples() {
    std::ifstream file(test::sourceTree() / "docs" / "gateway.md");
    EXPECT_TRUE(file) << "docs/gateway.md is missing";
    std::map<std::string, DocumentedExample> examples;
    std::string line;
    std::optional<std::string> open;
    DocumentedExample current;
    while (std::getline(file, line)) {
        if (open) {
            if (line.rfind("```", 0) == 0) {
                EXPECT_TRUE(examples.emplace(*open, current).second) << "two examples named " << *open;
                open.reset();
            } else {
                current.text += line + "\n";
            }
            continue;
        }
        const auto marker = line.find("gateway:");
        if (line.rfind("```", 0) != 0 || marker == std::string::npos) {
            continue;
        }
        std::istringstream words(line.substr(marker + 8));
        std::string name;
        words >> name;
        current = DocumentedExample{};
        if (int status = 0; words >> status) {
            current.status = status;
        }
        open = name;
    }
    EXPECT_FALSE(open) << "the example " << open.value_or("") << " is not closed";
    return examples;
}

class GatewayDocument : public ::testing::Test {
protected:
    static constexpr const char* kKey = "APP-KEY";

    void SetUp() override { BackendConfigUrl::setTestProxyUrl(gateway.baseUrl()); }
    void TearDown() override { BackendConfigUrl::setTestProxyUrl(""); }

    const DocumentedExample& example(const std::string& name) {
        static const DocumentedExample none;
        const auto found = examples.find(name);
        if (found == examples.end()) {
            ADD_FAILURE() << "docs/gateway.md has no example " << name;
            return none;
        }
        return found->second;
    }
    PlainJson json(const std::string& name) { return PlainJson::parse(example(name).text); }

    // Answers `path` with the documented answer, at its documented status.
    void answerWith(const std::string& path, const std::string& name) {
        const DocumentedExample& answer = example(name);
        EXPECT_TRUE(answer.status) << name << " names no status";
        gateway.setReply(path, {answer.status.value_or(200), answer.text});
    }

    // The body of the last request to `path`, read as JSON.
    PlainJson lastBody(const std::string& path) {
        const auto requests = gateway.requests(path);
        if (requests.empty()) {
            ADD_FAILURE() << "nothing was sent to " << path;
            return nullptr;
        }
        return PlainJson::parse(requests.back().body);
    }

    static Identifiers identifiers() {
        return Identifiers{"device-1", "device-0", "user \xC3\xA9", std::nullopt, 11, 12, 13};
    }

    const std::map<std::string, DocumentedExample> examples = documentedExamples();
    test::ScopedEnvironment environment;
    LoopbackGateway gateway;
    Backend backend{test::gatewayClient(std::make_shared<host::CurlHttpSession>(
        host::CurlHttpSession::Options{.idleTimeout = std::chrono::seconds(5)}))};
};

TEST_F(GatewayDocument, EveryExampleIsOneThisTestChecks) {
    std::set<std::string> names;
    for (const auto& [name, documented] : examples) {
        names.insert(name);
    }
    EXPECT_EQ(names,
              (std::set<std::string>{"headers", "config-request", "config-answer", "identification-request",
                                     "identification-answer", "identification-retry", "report-request",
                                     "report-answer", "report-refused", "verify-request", "verify-answer",
                                     "messaging-request", "messaging-answer", "messaging-unreadable"}));
}

TEST_F(GatewayDocument, TheHeadersAreThoseTheLibrarySendsAndTheConfigurationReadsAsDocumented) {
    answerWith("/v2/analytics/config", "config-answer");
    const ConfigRequestResult result =
        backend.requestConfig(kKey, identifiers(), Versions{"2.1.2", 10, "1.0", "45", 2, 0});
    EXPECT_EQ(lastBody("/v2/analytics/config"), json("config-request"));
    // Every member of the answer was read: written again, it is the documented answer.
    EXPECT_FALSE(result.isDefault);
    EXPECT_EQ(PlainJson::parse(JsonText::write(nlohmann::ordered_json(result.config))),
              json("config-answer"));

    const auto request = gateway.requests("/v2/analytics/config").back();
    std::set<std::string> documentedNames;
    std::istringstream lines(example("headers").text);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(": ");
        ASSERT_NE(colon, std::string::npos) << line;
        const std::string name = line.substr(0, colon);
        documentedNames.insert(name);
        EXPECT_EQ(request.header(name), line.substr(colon + 2)) << name;
    }
    for (const char* name : {"DeviceId", "PreviousDeviceId", "UserId", "PreviousUserId", "VorantelId",
                             "CrossPlatformVorantelId", "VorantelIdTimestamp", "X-Id-Encoding"}) {
        EXPECT_EQ(documentedNames.count(name) == 1, request.header(name).has_value()) << name;
    }
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, std::string("appId=") + kKey);
}

TEST_F(GatewayDocument, IdentificationAnswersReadAsDocumented) {
    answerWith("/v2/analytics/identification", "identification-answer");
    const BackendIdentifiers assigned = backend.requestIdentification(kKey, 1, identifiers());
    EXPECT_EQ(lastBody("/v2/analytics/identification"), json("identification-request"));
    ASSERT_TRUE(assigned.identifiersValue());
    const PlainJson numbers = json("identification-answer");
    EXPECT_EQ(*assigned.identifiersValue(),
              (BackendIdentifiers::Identifiers{numbers["vorantelId"].get<int64_t>(),
                                               numbers["crossPlatformVorantelId"].get<int64_t>(),
                                               numbers["vorantelIdTimestamp"].get<int64_t>()}));

    answerWith("/v2/analytics/identification", "identification-retry");
    EXPECT_EQ(backend.requestIdentification(kKey, 1, identifiers()).retryAfterValue(),
              json("identification-retry")["retryAfter"].get<int64_t>());
}

TEST_F(GatewayDocument, TheReportIsWhatTheLibrarySendsAndOnly200DeliversIt) {
    // The documented packages, read as the library reads its stored reports, then sent.
    std::vector<std::shared_ptr<Report>> reports;
    const PlainJson documented = json("report-request");
    for (const auto& report : documented["reports"]) {
        const auto packages =
            nlohmann::ordered_json::parse(report["packages"].dump()).get<std::vector<Package>>();
        reports.push_back(std::make_shared<Report>(packages));
    }
    answerWith("/v2/analytics/report", "report-answer");
    EXPECT_TRUE(backend.sendAnalytics(kKey, identifiers(), Reports{reports}).isSuccess());
    EXPECT_EQ(lastBody("/v2/analytics/report"), json("report-request"));

    answerWith("/v2/analytics/report", "report-refused");
    const SendAnalyticsResult refused = backend.sendAnalytics(kKey, identifiers(), Reports{reports});
    ASSERT_FALSE(refused.isSuccess());
    EXPECT_EQ(refused.error->localizedDescription(),
              "[Backend Module] Failed to send Report, status code: " +
                  std::to_string(example("report-refused").status.value_or(0)));
}

// Every kind of event the library writes, with its optional members in the forms they take, has the members
// the page's table gives its code: all of those it calls always there, and no other.
TEST_F(GatewayDocument, TheMembersOfEveryEventAreThoseTheTableGivesItsCode) {
    const auto documented = documentedEvents();
    std::set<std::string> written;
    for (const auto& text : test::everyRecordText()) {
        const auto event = nlohmann::ordered_json::parse(text);
        const std::string code = event.value("code", "");
        written.insert(code);
        const auto found = documented.find(code);
        if (found == documented.end()) {
            ADD_FAILURE() << "the table has no event " << code;
            continue;
        }
        std::set<std::string> members;
        for (const auto& [key, value] : event.items()) {
            members.insert(key);
            EXPECT_TRUE(found->second.always.contains(key) || found->second.whenGiven.contains(key))
                << code << " writes " << key << ", which the table does not name";
        }
        for (const auto& key : found->second.always) {
            EXPECT_TRUE(members.contains(key))
                << code << " lacks " << key << ", which the table says is always there";
        }
    }
    std::set<std::string> codes;
    for (const auto& [code, members] : documented) {
        codes.insert(code);
    }
    EXPECT_EQ(codes, written);
}

TEST_F(GatewayDocument, VerificationAndPushCategoriesReadAsDocumented) {
    answerWith("/v2/verify/payment", "verify-answer");
    Receipt receipt;
    receipt.receipt.data = "abc";
    receipt.bundle = "com.example.game";
    const ZQBVerifyResponse verdict = backend.sendVerifyReceipt(kKey, receipt, identifiers());
    EXPECT_EQ(lastBody("/v2/verify/payment"), json("verify-request"));
    const PlainJson answer = json("verify-answer");
    EXPECT_EQ(static_cast<int>(verdict.receiptStatus()), answer["status"].get<int>());
    EXPECT_EQ(verdict.verificationResult(), answer["verificationResult"].get<std::string>());

    answerWith("/v2/messaging/config", "messaging-answer");
    const auto categories = backend.requestMessagingConfig(
        kKey, MessagingRequestObject{"2.1.2", 10, "1.0", 7, "de"}, identifiers());
    EXPECT_EQ(lastBody("/v2/messaging/config"), json("messaging-request"));
    ASSERT_TRUE(categories);
    const PlainJson documented = json("messaging-answer")["pushCategories"];
    EXPECT_EQ(categories->version, documented["version"].get<int64_t>());
    EXPECT_EQ(PlainJson::parse(JsonText::write(nlohmann::ordered_json(categories->categories))),
              documented["categories"]);
    EXPECT_EQ(categories->removed, documented["removed"].get<std::vector<std::string>>());

    answerWith("/v2/messaging/config", "messaging-unreadable");
    EXPECT_FALSE(backend.requestMessagingConfig(kKey, MessagingRequestObject{"2.1.2", 10, "1.0", 9, "de"},
                                                identifiers()));
}

}  // namespace
}  // namespace zqb

#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/Statement.hpp"

namespace zqb {

void SQLiteProvider::groupWritesOn(WriterQueue queue) {
    const std::weak_ptr<SQLiteProvider> weak = weak_from_this();
    if (weak.expired() || !queue.isCurrent || !queue.post) {
        return;
    }
    WriteGroup::Schedule schedule;
    schedule.onWriterQueue = std::move(queue.isCurrent);
    schedule.post = [weak, post = std::move(queue.post)](WriteGroup::Event event) {
        post([weak, event] {
            if (const auto self = weak.lock()) {
                self->handleGroupEvent(event);
            }
        });
    };
    if (queue.runAfter) {
        schedule.runAfter = [weak, runAfter = std::move(queue.runAfter)](int64_t delayMs,
                                                                         WriteGroup::Event event) {
            runAfter(delayMs, [weak, event] {
                if (const auto self = weak.lock()) {
                    self->handleGroupEvent(event);
                }
            });
        };
    }
    if (queue.now) {
        schedule.now = std::move(queue.now);
    }
    schedule.windowMilliseconds = queue.windowMilliseconds;
    database_->serialized([&] { group_->setSchedule(std::move(schedule)); });
}

void SQLiteProvider::handleGroupEvent(WriteGroup::Event event) {
    database_->serialized([&] { group_->handle(event); });
}

void SQLiteProvider::commitWrites() {
    database_->serialized([&] { group_->flush(); });
}

void SQLiteProvider::runKept(const std::string& sql, std::vector<OptionalSQLiteValue> values,
                             const char* failurePrefix) {
    Statement(*database_, sql, values).run();
    if (group_->isOpen()) {
        group_->record({std::make_shared<const std::string>(sql), std::move(values), failurePrefix, false});
    }
}

std::shared_ptr<const std::string> SQLiteProvider::replayText(const std::string& sql) {
    auto& text = replayTexts_[sql];
    if (!text) {
        text = std::make_shared<const std::string>(sql);
    }
    return text;
}

void SQLiteProvider::replay(const WriteGroup::Replay& kept) {
    if (kept.reused) {
        runWithKeptStatement(*kept.sql, kept.values);
    } else {
        Statement(*database_, *kept.sql, kept.values).run();
    }
}

}  // namespace zqb

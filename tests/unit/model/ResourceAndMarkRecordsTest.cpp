#include "model/CurrencyAccrualResource.hpp"
#include "model/LevelResource.hpp"
#include "model/RealPaymentMark.hpp"
#include "model/TutorialMark.hpp"

#include "RecordRows.hpp"

#include <gtest/gtest.h>

using namespace zqb::test::rows;
using zqb::CurrencyAccrualResource;
using zqb::LevelResource;
using zqb::LevelResourceType;
using zqb::RealPaymentMark;
using zqb::SQLiteRow;
using zqb::TutorialMark;

namespace {

SQLiteRow with(SQLiteRow row, std::size_t column, zqb::OptionalSQLiteValue value) {
    row[column] = std::move(value);
    return row;
}

}  // namespace

// --- Level resources ------------------------------------------------------------------------------

TEST(LevelResourceRecord, EqualityIgnoresIdAndAmount) {
    const LevelResource a{1, 7, LevelResourceType::bought, "gold", 5};
    const LevelResource b{2, 7, LevelResourceType::bought, "gold", 50};
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == (LevelResource{1, 8, LevelResourceType::bought, "gold", 5}));
    EXPECT_FALSE(a == (LevelResource{1, 7, LevelResourceType::spent, "gold", 5}));
    EXPECT_FALSE(a == (LevelResource{1, 7, LevelResourceType::bought, "gems", 5}));
    EXPECT_TRUE((LevelResource{1, 7, LevelResourceType::earned, "caf\xC3\xA9", 1}) ==
                (LevelResource{2, 7, LevelResourceType::earned, "cafe\xCC\x81", 2}));
}

TEST(LevelResourceRecord, Description) {
    EXPECT_EQ((LevelResource{1, 7, LevelResourceType::earned, "gold", 5}).description(),
              "\t userId: 7, \n\t type: earned, \n\t name: gold, \n\t amount: 5");
    EXPECT_EQ((LevelResource{1, 7, LevelResourceType::bought, "gold", -5}).description(),
              "\t userId: 7, \n\t type: bought, \n\t name: gold, \n\t amount: -5");
    EXPECT_EQ((LevelResource{1, 7, LevelResourceType::spent, "g", 0}).description(),
              "\t userId: 7, \n\t type: spent, \n\t name: g, \n\t amount: 0");
}

TEST(LevelResourceRecord, TypeFromRawValue) {
    EXPECT_EQ(zqb::levelResourceTypeFromRawValue(0), LevelResourceType::earned);
    EXPECT_EQ(zqb::levelResourceTypeFromRawValue(1), LevelResourceType::bought);
    EXPECT_EQ(zqb::levelResourceTypeFromRawValue(2), LevelResourceType::spent);
    EXPECT_EQ(zqb::levelResourceTypeFromRawValue(3), std::nullopt);
    EXPECT_EQ(zqb::levelResourceTypeFromRawValue(-1), std::nullopt);
}

TEST(LevelResourceRow, TypesAndRequiredColumns) {
    const SQLiteRow good{I(3), I(7), I(1), T("gold"), I(40)};
    const auto resource = LevelResource::fromRow(good);
    ASSERT_TRUE(resource.has_value());
    EXPECT_EQ(resource->idKey, 3);
    EXPECT_EQ(resource->userId, 7);
    EXPECT_EQ(resource->type, LevelResourceType::bought);
    EXPECT_EQ(resource->name, "gold");
    EXPECT_EQ(resource->amount, 40);
    EXPECT_EQ(LevelResource::fromRow(with(good, 2, I(2)))->type, LevelResourceType::spent);
    EXPECT_EQ(LevelResource::fromRow(with(good, 2, I(7)))->type, LevelResourceType::earned);
    EXPECT_EQ(LevelResource::fromRow(with(good, 2, I(-1)))->type, LevelResourceType::earned);
    for (std::size_t column = 0; column < good.size(); ++column) {
        EXPECT_FALSE(LevelResource::fromRow(with(good, column, N)).has_value()) << column;
        EXPECT_FALSE(LevelResource::fromRow(with(good, column, D(1.0))).has_value()) << column;
    }
    EXPECT_FALSE(LevelResource::fromRow(with(good, 3, I(1))).has_value());
    EXPECT_FALSE(LevelResource::fromRow(with(good, 4, T("40"))).has_value());
}

// --- Currency accrual resources -------------------------------------------------------------------

TEST(CurrencyAccrualResourceRecord, NewResourceKeepsItsTime) {
    const CurrencyAccrualResource resource(1700000000123, "gold", 5, "shop", ZQBAccrualType::bought);
    EXPECT_EQ(resource.idKey, -1);
    EXPECT_EQ(resource.userId, -1);
    EXPECT_EQ(resource.name, "gold");
    EXPECT_EQ(resource.amount, 5);
    EXPECT_EQ(resource.source, "shop");
    EXPECT_EQ(resource.type, ZQBAccrualType::bought);
    EXPECT_EQ(resource.timestamp, 1700000000123);
    const CurrencyAccrualResource stored(1700000000123, "gold", 5, "shop", ZQBAccrualType::earned, 4, 9);
    EXPECT_EQ(stored.userId, 4);
    EXPECT_EQ(stored.idKey, 9);
}

TEST(CurrencyAccrualResourceRecord, EqualityFindsTheRowToAddInto) {
    const CurrencyAccrualResource base(1000, "gold", 5, "shop", ZQBAccrualType::earned, 4, 1);
    EXPECT_TRUE(base == CurrencyAccrualResource(1500, "gold", 50, "shop", ZQBAccrualType::earned, 4, 2));
    EXPECT_FALSE(base == CurrencyAccrualResource(1500, "gold", 5, "quest", ZQBAccrualType::earned, 4, 1));
    EXPECT_FALSE(base == CurrencyAccrualResource(1500, "gems", 5, "shop", ZQBAccrualType::earned, 4, 1));
    EXPECT_FALSE(base == CurrencyAccrualResource(1500, "gold", 5, "shop", ZQBAccrualType::bought, 4, 1));
    EXPECT_FALSE(base == CurrencyAccrualResource(1500, "gold", 5, "shop", ZQBAccrualType::earned, 5, 1));
}

TEST(CurrencyAccrualResourceRecord, Description) {
    EXPECT_EQ(CurrencyAccrualResource(1000, "gold", 5, "shop", ZQBAccrualType::bought, 4).description(),
              "\t userId: 4, \n\t type: bought, \n\t name: gold, \n\t amount: 5 \n\t source: shop");
    EXPECT_EQ(CurrencyAccrualResource(1000, "gems", 1, "quest", ZQBAccrualType::earned, 2).description(),
              "\t userId: 2, \n\t type: earned, \n\t name: gems, \n\t amount: 1 \n\t source: quest");
}

TEST(CurrencyAccrualResourceRow, TypesAndRequiredColumns) {
    const SQLiteRow good{I(3), I(4), I(1), T("gold"), I(5), T("shop"), I(1700)};
    const auto resource = CurrencyAccrualResource::fromRow(good);
    ASSERT_TRUE(resource.has_value());
    EXPECT_EQ(resource->idKey, 3);
    EXPECT_EQ(resource->userId, 4);
    EXPECT_EQ(resource->type, ZQBAccrualType::bought);
    EXPECT_EQ(resource->name, "gold");
    EXPECT_EQ(resource->amount, 5);
    EXPECT_EQ(resource->source, "shop");
    EXPECT_EQ(resource->timestamp, 1700);
    EXPECT_EQ(CurrencyAccrualResource::fromRow(with(good, 2, I(2)))->type, ZQBAccrualType::earned);
    EXPECT_EQ(CurrencyAccrualResource::fromRow(with(good, 2, I(0)))->type, ZQBAccrualType::earned);
    for (std::size_t column = 0; column < good.size(); ++column) {
        EXPECT_FALSE(CurrencyAccrualResource::fromRow(with(good, column, N)).has_value()) << column;
    }
    EXPECT_FALSE(CurrencyAccrualResource::fromRow(with(good, 5, I(1))).has_value());
    EXPECT_FALSE(CurrencyAccrualResource::fromRow(with(good, 6, D(1700.0))).has_value());
}

// --- Marks ----------------------------------------------------------------------------------------

TEST(MarkRows, TutorialMark) {
    const auto mark = TutorialMark::fromRow({I(1), I(4), I(3)});
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(mark->idKey, 1);
    EXPECT_EQ(mark->userId, 4);
    EXPECT_EQ(mark->step, 3);
    EXPECT_FALSE(TutorialMark::fromRow({I(1), I(4), N}).has_value());
    EXPECT_FALSE(TutorialMark::fromRow({I(1), T("4"), I(3)}).has_value());
    EXPECT_FALSE(TutorialMark::fromRow({I(1), I(4)}).has_value());
    EXPECT_EQ(TutorialMark{}.idKey, -1);
}

TEST(MarkRows, RealPaymentMark) {
    const auto mark = RealPaymentMark::fromRow({I(2), I(1), T("order-1")});
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(mark->idKey, 2);
    EXPECT_EQ(mark->projectId, 1);
    EXPECT_EQ(mark->orderId, "order-1");
    EXPECT_FALSE(RealPaymentMark::fromRow({I(2), N, T("order-1")}).has_value());
    EXPECT_FALSE(RealPaymentMark::fromRow({I(2), I(1), I(1)}).has_value());
    EXPECT_EQ(RealPaymentMark{}.idKey, -1);
}

#include "app/wiring/sim_neighbours_real.h"
#include "catalogue_fixture.h"

class RealNeighboursTest : public CatalogueFixtureTest {};

// The SimClient thread may ask before the worker has read the Dbase.
TEST_F(RealNeighboursTest, AnswerFromTheDbaseOnceItIsRead) {
    RealSimNeighbours& n = gf_realSimNeighbours();
    EXPECT_EQ(n.halfWingspanNm("B738"), 0.0);
    EXPECT_EQ(n.maxHalfWingspanNm(), 0.0);
    EXPECT_EQ(n.acCategory("B77W"), AcCategory::Light);
    readFixtureDbase();
    EXPECT_DOUBLE_EQ(n.halfWingspanNm("B738"), 35.8 * 0.5 / 1852.0);
    EXPECT_DOUBLE_EQ(n.maxHalfWingspanNm(), 64.8 * 0.5 / 1852.0);
    EXPECT_EQ(n.acCategory("B77W"), AcCategory::Heavy);
    EXPECT_EQ(n.categoryName(AcCategory::Buzjets), "Buzjets");
    EXPECT_EQ(n.categoryName(static_cast<AcCategory>(9)), "?");
    EXPECT_TRUE(n.standNameAt(LatLon{52.3, 4.7}).empty());
}

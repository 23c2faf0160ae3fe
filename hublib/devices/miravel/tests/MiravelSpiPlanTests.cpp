// The first family's flash write planning: erase kind, sectors and the kept
// rest of the last sector, pieces of pages and reads.
#include <gtest/gtest.h>

#include "MiravelSpiPlan.h"

using namespace miravel;

TEST(MiravelSpiPlan, EraseKind) {
    struct Case {
        uint32_t address;
        uint32_t size;
        SpiWriteKind kind;
    } cases[] = {
        {0, 65535, SpiWriteKind::kWholeImage}, {0, 65536, SpiWriteKind::kSectors},
        {0, 100, SpiWriteKind::kSectors},      {0xF01E, 100, SpiWriteKind::kConfigBlock},
        {0x1000, 100, SpiWriteKind::kSectors},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address << " " << std::dec << c.size);
        EXPECT_EQ(ClassifySpiWrite(c.address, c.size), c.kind);
    }
}

TEST(MiravelSpiPlan, Sectors) {
    struct Case {
        uint32_t size;
        uint32_t sectors;
        uint32_t tail;
    } cases[] = {{100, 1, 3996}, {4096, 1, 0}, {4097, 2, 4095}, {8192, 2, 0}, {1, 1, 4095}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const SectorPlan plan = PlanSectors(c.size);
        EXPECT_EQ(plan.sectorCount, c.sectors);
        EXPECT_EQ(plan.keptTail, c.tail);
        EXPECT_EQ(plan.programLength, c.size + c.tail);
        EXPECT_EQ(plan.programLength % kSectorSize, 0u);
    }
}

TEST(MiravelSpiPlan, Pieces) {
    const auto reads = SplitIntoPieces(0x2000, 2500, kReadPieceSize);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].length, 1024u);
    EXPECT_EQ(reads[1].address, 0x2400u);
    EXPECT_EQ(reads[2].length, 452u);
    EXPECT_EQ(reads[2].offset, 2048u);

    const auto pages = SplitIntoPieces(0, 65535, kPageSize);
    ASSERT_EQ(pages.size(), 256u);
    EXPECT_EQ(pages[254].length, 256u);
    EXPECT_EQ(pages[255].length, 255u);
    EXPECT_TRUE(SplitIntoPieces(0, 0, kPageSize).empty());
}

TEST(MiravelSpiPlan, ConfigBlockMustStayBeforeTheFirmwareTag) {
    EXPECT_TRUE(ConfigBlockFitsImage(2047));
    EXPECT_TRUE(ConfigBlockFitsImage(0xFFFA - 0xF01E));
    EXPECT_FALSE(ConfigBlockFitsImage(0xFFFA - 0xF01E + 1));
    const uint8_t tag[] = {'2', 'D', 'F', 'U'};
    const uint8_t lower[] = {'2', 'd', 'f', 'u'};
    EXPECT_TRUE(IsFirmwareTag(tag));
    EXPECT_FALSE(IsFirmwareTag(lower));
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "memfile/MemoryDocument.h"
#include "model/Model.h"

namespace {

constexpr std::size_t RecordAt(int slot) { return 16 + 112 * static_cast<std::size_t>(slot - 1); }

MemoryDocument::Image Filled(std::uint8_t seed)
{
    MemoryDocument::Image image{};
    for (std::size_t b = 0; b < image.size(); ++b) image[b] = static_cast<std::uint8_t>(seed + b);
    return image;
}

MemoryDocument::Image ImageIn(const MemoryFileImage& file, int slot)
{
    MemoryDocument::Image image{};
    std::copy_n(file.begin() + RecordAt(slot) + 32, image.size(), image.begin());
    return image;
}

MemoryDocument::Image FactoryImage()
{
    ParameterModel factory{};
    LoadDefaults(factory);
    MemoryDocument::Image image{};
    ModelToImage(factory, image.data());
    return image;
}

// A file no save of this program would write: memory 2 marked with a used
// byte of 2, bytes after a name's terminator and after an image, images
// that no model packs back.
MemoryFileImage OddFile()
{
    MemoryFileImage file = BuildMemoryFile({});
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        const std::size_t at = RecordAt(slot);
        file[at + 1] = slot == 2 ? 2 : (slot % 2);
        std::memcpy(&file[at + 16], "Odd\0junk", 8);
        const auto image = Filled(static_cast<std::uint8_t>(slot * 40));
        std::copy(image.begin(), image.end(), file.begin() + at + 32);
        file[at + 100] = 0xA5;
    }
    return file;
}

}  // namespace

TEST(MemoryDocument, NewHoldsSixEmptyMemoriesWithTheFactorySettingAndIsUnmodified)
{
    const MemoryDocument document;
    EXPECT_FALSE(document.Modified());
    EXPECT_EQ(document.Current(), FactoryImage());
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        EXPECT_FALSE(document.Used(slot));
        EXPECT_EQ(document.Name(slot), "");
        EXPECT_EQ(ImageIn(document.Bytes(), slot), FactoryImage()) << slot;
        EXPECT_EQ(document.Bytes()[RecordAt(slot)], slot);
    }
    EXPECT_TRUE(CheckMemoryFileFormat(document.Bytes()));
}

TEST(MemoryDocument, OpenKeepsEveryByteAndRefusesWhatIsNoMemoryFile)
{
    const MemoryFileImage odd = OddFile();
    MemoryDocument document;
    ASSERT_TRUE(document.Open(odd));
    EXPECT_EQ(document.Bytes(), odd);
    EXPECT_FALSE(document.Modified());
    // Memory 2's used byte is not 1: it is the first memory not in use.
    EXPECT_TRUE(document.Used(1));
    EXPECT_FALSE(document.Used(2));
    EXPECT_EQ(document.Current(), Filled(80));
    EXPECT_EQ(document.Name(3), "Odd");

    std::vector<std::uint8_t> bytes(odd.begin(), odd.end());
    MemoryFileImage badTrailer = odd;
    badTrailer[kTrailerOffset] = 'X';
    for (const std::vector<std::uint8_t>& refused : {std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1),
                                                     [&] {
                                                         auto longer = bytes;
                                                         longer.push_back(0);
                                                         return longer;
                                                     }(),
                                                     std::vector<std::uint8_t>(badTrailer.begin(), badTrailer.end())}) {
        MemoryDocument kept;
        kept.Store(1, "Kept");
        EXPECT_FALSE(kept.Open(refused));
        EXPECT_EQ(kept.Name(1), "Kept");
        EXPECT_TRUE(kept.Modified());
    }

    // All six used: the file holds no current setting, the factory one stands in.
    MemoryFileImage allUsed = odd;
    for (int slot = 1; slot <= kMemorySlots; ++slot) allUsed[RecordAt(slot) + 1] = 1;
    ASSERT_TRUE(document.Open(allUsed));
    EXPECT_EQ(document.Current(), FactoryImage());
}

TEST(MemoryDocument, EachEditChangesOnlyItsFieldsAndTheCurrentSettingFillsTheMemoriesNotInUse)
{
    const MemoryFileImage odd = OddFile();
    MemoryDocument document;
    ASSERT_TRUE(document.Open(odd));

    document.SetCurrent(Filled(7));
    MemoryFileImage expected = odd;
    for (const int unused : {2, 4, 6}) {
        const auto image = Filled(7);
        std::copy(image.begin(), image.end(), expected.begin() + RecordAt(unused) + 32);
    }
    EXPECT_EQ(document.Bytes(), expected);
    EXPECT_TRUE(document.Modified());

    document.Store(4, "Live");
    expected[RecordAt(4) + 1] = 1;
    std::memcpy(&expected[RecordAt(4) + 16], "Live\0\0\0\0", 8);
    EXPECT_EQ(document.Bytes(), expected);

    document.Rename(1, "ABCDEFGHIJKLMNOPQR");  // cut to the sixteen bytes of the field
    std::memcpy(&expected[RecordAt(1) + 16], "ABCDEFGHIJKLMNOP", 16);
    EXPECT_EQ(document.Bytes(), expected);
    EXPECT_EQ(document.Name(1), "ABCDEFGHIJKLMNOP");

    // A recall makes the memory's image current, and so the image of every memory not in use.
    document.Recall(3);
    EXPECT_EQ(document.Current(), Filled(120));
    for (const int unused : {2, 6}) EXPECT_EQ(ImageIn(document.Bytes(), unused), Filled(120));
    EXPECT_EQ(ImageIn(document.Bytes(), 4), Filled(7));

    document.Delete(5);
    EXPECT_FALSE(document.Used(5));
    EXPECT_EQ(document.Name(5), "");
    EXPECT_EQ(ImageIn(document.Bytes(), 5), Filled(120));
    EXPECT_EQ(document.Bytes()[RecordAt(5) + 100], 0xA5);  // beyond the fields: untouched

    document.MarkSaved();
    EXPECT_FALSE(document.Modified());
    // Slots outside 1..6 change nothing.
    document.Store(0, "X");
    document.Delete(7);
    EXPECT_FALSE(document.Modified());
}

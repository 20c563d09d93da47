#include "tests/cli/MemoryFileBytes.h"

#include <algorithm>

ImageBytes DefaultImage()
{
    const std::uint8_t block[31] = {0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B,
                                    0x0A, 0x0A, 0x0A, 0x69, 0x2B, 0x80, 0x80, 0x80, 0x19, 0x19, 0x19,
                                    0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};
    ImageBytes image{};
    std::copy(block, block + 31, image.begin());
    std::copy(block, block + 31, image.begin() + 31);
    return image;
}

std::vector<unsigned char> MemoryFileBytes(const std::array<RecordBytes, 6>& records)
{
    const std::string marker = "VNB1.00M        ";
    std::vector<unsigned char> file(marker.begin(), marker.end());
    for (int i = 0; i < 6; ++i) {
        const RecordBytes& r = records[static_cast<std::size_t>(i)];
        std::vector<unsigned char> record(112, 0);
        record[0] = static_cast<unsigned char>(i + 1);
        record[1] = r.used;
        record[2] = 'M';
        record[3] = 'E';
        record[4] = 'M';
        std::copy_n(r.name.begin(), std::min<std::size_t>(r.name.size(), 16), record.begin() + 16);
        std::copy(r.image.begin(), r.image.end(), record.begin() + 32);
        file.insert(file.end(), record.begin(), record.end());
    }
    file.insert(file.end(), marker.begin(), marker.end());
    return file;
}

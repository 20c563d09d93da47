// A memory image from the unit or a file, unpacked into the model, then
// every reader of the model run over it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/ModelReaders.h"
#include "model/MemoryImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t image[kImageSize] = {};  // a short input is a zero-padded image
    std::memcpy(image, data, size < kImageSize ? size : kImageSize);
    UnpackAndReadModel(image);
    return 0;
}

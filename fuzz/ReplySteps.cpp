#include "fuzz/ReplySteps.h"

#include <algorithm>

namespace {

// Reads from the front of the input; reads past its end give zeros and empty chunks.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> data) : data_(data) {}
    bool AtEnd() const { return next_ >= data_.size(); }
    std::uint8_t Byte() { return AtEnd() ? 0 : data_[next_++]; }
    std::vector<std::uint8_t> Bytes(std::size_t count)
    {
        const std::size_t take = std::min(count, data_.size() - std::min(next_, data_.size()));
        std::vector<std::uint8_t> bytes(data_.begin() + static_cast<std::ptrdiff_t>(next_),
                                        data_.begin() + static_cast<std::ptrdiff_t>(next_ + take));
        next_ += take;
        return bytes;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t next_ = 0;
};

}  // namespace

std::vector<ReplyStep> DecodeReplySteps(std::span<const std::uint8_t> data)
{
    std::vector<ReplyStep> steps;
    Cursor cursor(data);
    while (!cursor.AtEnd()) {
        ReplyStep step;
        step.expectedReply = cursor.Byte() << 8;
        step.expectedReply |= cursor.Byte();
        for (int count = cursor.Byte(); count > 0 && !cursor.AtEnd(); --count)
            step.chunks.push_back(cursor.Bytes(cursor.Byte()));
        steps.push_back(std::move(step));
    }
    return steps;
}

std::vector<std::uint8_t> EncodeReplySteps(const std::vector<ReplyStep>& steps)
{
    std::vector<std::uint8_t> data;
    for (const ReplyStep& step : steps) {
        data.push_back(static_cast<std::uint8_t>(step.expectedReply >> 8));
        data.push_back(static_cast<std::uint8_t>(step.expectedReply));
        data.push_back(static_cast<std::uint8_t>(step.chunks.size()));
        for (const auto& chunk : step.chunks) {
            data.push_back(static_cast<std::uint8_t>(chunk.size()));
            data.insert(data.end(), chunk.begin(), chunk.end());
        }
    }
    return data;
}

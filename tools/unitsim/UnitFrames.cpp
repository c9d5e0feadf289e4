#include "UnitFrames.h"

#include <algorithm>

namespace unitsim {

namespace {

void Put16(Bytes& f, std::size_t at, int value)
{
    f[at] = uint8_t((value >> 8) & 0xFF);
    f[at + 1] = uint8_t(value & 0xFF);
}

Bytes Frame(uint8_t lead, uint8_t letter, std::size_t length)
{
    Bytes f(length, 0);
    f[0] = lead;
    f[1] = letter;
    return f;
}

} // namespace

uint8_t Checksum(const uint8_t* data, std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return uint8_t(sum & 0xFF);
}

bool ChecksumOk(const uint8_t* frame, std::size_t length)
{
    if (length == 0)
        return false;
    return frame[length - 1] == Checksum(frame, length - 1);
}

Bytes Sealed(Bytes frame)
{
    if (!frame.empty())
        frame.back() = Checksum(frame.data(), frame.size() - 1);
    return frame;
}

std::size_t CommandLength(uint8_t letter)
{
    switch (letter) {
    case 'a': return 5;
    case 'b': return 4;
    case 'c': return 3;
    case 'd': return 19;
    case 'e': return 3;
    case 'f': return 20;
    case 'g': return 4;
    case 'l': return 20;
    case 'm': return 4;
    case 's': return 20;
    default: return 0;
    }
}

void TCommandDecoder::Feed(const uint8_t* data, std::size_t length, std::vector<Bytes>& frames)
{
    buffer_.insert(buffer_.end(), data, data + length);
    std::size_t pos = 0;
    while (pos < buffer_.size()) {
        const std::size_t need = CommandLength(buffer_[pos]);
        if (need == 0) {
            ++skipped_;
            ++pos;
            continue;
        }
        if (buffer_.size() - pos < need)
            break;
        if (!ChecksumOk(&buffer_[pos], need)) {
            ++checksumFailures_;
            ++skipped_;
            ++pos;
            continue;
        }
        frames.emplace_back(buffer_.begin() + std::ptrdiff_t(pos), buffer_.begin() + std::ptrdiff_t(pos + need));
        pos += need;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(pos));
}

Bytes AckFrame(uint8_t letter, uint8_t b2, uint8_t b3)
{
    Bytes f = Frame(LeadReply, letter, 5);
    f[2] = b2;
    f[3] = b3;
    return Sealed(std::move(f));
}

Bytes RegisterFrame(uint8_t reg, const Block16& data)
{
    Bytes f = Frame(LeadReply, 'c', 20);
    f[2] = reg;
    std::copy(data.begin(), data.end(), f.begin() + 3);
    return Sealed(std::move(f));
}

Bytes ParameterFrame(uint8_t address, const Block16& data)
{
    Bytes f = Frame(LeadReply, 'e', 20);
    f[2] = address;
    std::copy(data.begin(), data.end(), f.begin() + 3);
    return Sealed(std::move(f));
}

Bytes RingBlockFrame(uint8_t target, uint8_t block, const Block16& data)
{
    Bytes f = Frame(LeadReply, 'm', 21);
    f[2] = target;
    f[3] = block;
    std::copy(data.begin(), data.end(), f.begin() + 4);
    return Sealed(std::move(f));
}

Bytes SilhouetteFrame(uint8_t target, uint8_t packet, const Block16& data)
{
    Bytes f = Frame(LeadReply, 'g', 21);
    f[2] = target;
    f[3] = packet;
    std::copy(data.begin(), data.end(), f.begin() + 4);
    return Sealed(std::move(f));
}

Bytes SampleFrame(const SimSample& sample)
{
    Bytes f = Frame(LeadMeasurement, 'e', 20);
    Put16(f, 2, sample.sequence);
    Put16(f, 4, sample.x);
    Put16(f, 6, sample.y);
    Put16(f, 8, sample.tilt);
    Put16(f, 10, sample.rotation);
    f[16] = sample.flags;
    return Sealed(std::move(f));
}

Bytes SampleT1Frame(uint16_t a, uint16_t b, uint16_t c, uint16_t d)
{
    Bytes f = Frame(LeadMeasurement, 'U', 21);
    Put16(f, 4, a);
    Put16(f, 6, b);
    Put16(f, 8, c);
    Put16(f, 10, d);
    return Sealed(std::move(f));
}

Bytes SampleT2Frame(uint16_t lgX, uint16_t lgY, uint16_t hgX, uint16_t hgY, uint16_t dist)
{
    Bytes f = Frame(LeadMeasurement, 'V', 46);
    Put16(f, 20, lgX);
    Put16(f, 22, lgY);
    Put16(f, 24, hgX);
    Put16(f, 26, hgY);
    Put16(f, 40, dist);
    return Sealed(std::move(f));
}

Bytes ErrorReportFrame(uint8_t code)
{
    Bytes f = Frame(LeadMeasurement, 'c', 16);
    f[2] = code;
    return Sealed(std::move(f));
}

Bytes ShotResultFrame(const SimShot& shot, uint8_t number, uint32_t tag)
{
    Bytes f = Frame(LeadMeasurement, 'j', 36);
    f[2] = number;
    Put16(f, 4, shot.x);
    Put16(f, 6, shot.y);
    Put16(f, 8, shot.tilt);
    Put16(f, 10, shot.rotation);
    f[12] = shot.flags;
    f[14] = shot.ringTarget;
    f[15] = shot.silhouetteTarget;
    f[16] = uint8_t(std::max(shot.functionMode, 0));
    f[17] = uint8_t(std::max(shot.startupCounter, 0));
    const uint32_t time = uint32_t(std::max(shot.time, 0)) & 0xFFFFFF;
    f[18] = uint8_t(time >> 16);
    f[19] = uint8_t(time >> 8);
    f[20] = uint8_t(time);
    f[21] = uint8_t(tag >> 16);
    f[22] = uint8_t(tag >> 8);
    f[23] = uint8_t(tag);
    f[24] = shot.score;
    f[25] = shot.sector;
    f[26] = shot.zone;
    f[27] = shot.failures;
    Put16(f, 28, shot.revalm);
    Put16(f, 30, shot.xTenthMm);
    Put16(f, 32, shot.yTenthMm);
    return Sealed(std::move(f));
}

} // namespace unitsim

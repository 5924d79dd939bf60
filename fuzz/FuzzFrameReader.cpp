// libFuzzer target: any bytes as a device's reply stream, fed to the frame reader in chunks
// whose sizes the input chooses. Whatever arrives, the reader takes no more than it is given,
// never holds more than one frame, and a frame it completes re-encodes to the bytes it read.
#include "commdll/FrameReader.h"

#include <cstdint>
#include <cstdlib>

namespace {
void Check(bool condition) {
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte sets the chunk size, as a socket delivers bytes in pieces.
    const qsizetype chunk = data[0] % 64 + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    qsizetype left = static_cast<qsizetype>(size - 1);

    commdll::CFrameReader reader(commdll::FRAME_KIND_REPLY);
    QByteArray current; // the bytes of the frame being read
    while (left > 0) {
        const qsizetype offered = std::min(chunk, left);
        const qsizetype taken = reader.Feed(bytes, offered);
        Check(taken >= 0 && taken <= offered);
        current.append(bytes, taken);
        bytes += taken;
        left -= taken;
        Check(current.size() <= commdll::FRAME_MAX_SIZE);
        Check(reader.BytesWanted() >= 0);
        switch (reader.GetState()) {
        case commdll::CFrameReader::State::Incomplete:
            Check(taken == offered);
            break;
        case commdll::CFrameReader::State::Complete: {
            const commdll::Frame frame = reader.TakeFrame();
            Check(frame.payload.size() <= commdll::FRAME_MAX_PAYLOAD);
            Check(commdll::EncodeFrame(frame) == current);
            current.clear();
            break;
        }
        default: // a broken stream: the link is dropped and reading starts afresh
            reader.Reset();
            current.clear();
            if (taken == 0) { // the byte that broke it was not taken: skip it
                ++bytes;
                --left;
            }
            break;
        }
    }
    return 0;
}

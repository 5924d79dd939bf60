// libFuzzer target: any bytes as a firmware file's contents, and as one record line.
#include "firmware/SRecordReader.h"

#include "platform/MessageBox.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
int g_messages = 0;

void Check(bool condition) {
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Count the boxes instead of writing every refusal to standard error.
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest&) { ++g_messages; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view contents(reinterpret_cast<const char*>(data), size);

    g_messages = 0;
    CSRecordReader reader{};
    int length = -1;
    const auto image = BuildFirmwareImage(reader, contents, length);
    // A refusal is told exactly once; an image comes without a message and within the limit.
    Check(image.has_value() ? g_messages == 0 : g_messages == 1);
    if (image) {
        Check(image->size() == static_cast<std::size_t>(length));
        Check(image->size() <= kMaxFirmwareImageSize);
    }
    Check(reader.m_pImage == nullptr);

    CSRecordReader lineReader{};
    if (ParseSRecord(lineReader, contents) == SRecordData)
        Check(lineReader.m_nDataCount <= kMaxRecordDataBytes);
    return 0;
}

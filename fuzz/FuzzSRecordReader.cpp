// libFuzzer target: any bytes as a firmware file's contents, and as one record line.
#include "firmware/SRecordReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {
void Check(bool condition) {
    if (!condition)
        std::abort();
}

// A refusal is told once, as a refused file, with a reason and at most a line that exists.
void CheckRefusal(const Outcome& outcome, std::string_view contents) {
    Check(outcome.cause == Cause::FileRefused);
    Check(outcome.messages.size() == 1);
    Check(!outcome.details.value(QStringLiteral("reason")).toString().isEmpty());
    const QVariant line = outcome.details.value(QStringLiteral("line"));
    if (line.isValid()) {
        const auto lines = std::count(contents.begin(), contents.end(), '\n') + 1;
        Check(line.toInt() >= 1 && line.toInt() <= lines);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view contents(reinterpret_cast<const char*>(data), size);

    CSRecordReader reader{};
    int length = -1;
    Outcome outcome;
    const auto image = BuildFirmwareImage(reader, contents, length, outcome);
    if (image) {
        // An image comes without a message, never empty, and within the limit.
        Check(outcome.Succeeded() && outcome.messages.empty());
        Check(image->size() == static_cast<std::size_t>(length));
        Check(!image->empty() && image->size() <= kMaxFirmwareImageSize);
    } else {
        CheckRefusal(outcome, contents);
    }
    Check(reader.m_pImage == nullptr);

    // CR LF line ends read as LF does: the same image or the same refusal. (Records that
    // continue one another with LF ends are taken by a shorter path; with CR LF by the
    // general one.)
    if (contents.find('\r') == std::string_view::npos) {
        std::string crlf;
        for (const char c : contents)
            crlf += c == '\n' ? std::string_view("\r\n") : std::string_view(&c, 1);
        CSRecordReader crlfReader{};
        int crlfLength = -1;
        Outcome crlfOutcome;
        const auto crlfImage = BuildFirmwareImage(crlfReader, crlf, crlfLength, crlfOutcome);
        Check(image.has_value() == crlfImage.has_value());
        Check(!image || *image == *crlfImage);
        Check(image || outcome.details == crlfOutcome.details);
    }

    CSRecordReader lineReader{};
    if (ParseSRecord(lineReader, contents) == SRecordData)
        Check(lineReader.m_nDataCount <= kMaxRecordDataBytes);
    return 0;
}

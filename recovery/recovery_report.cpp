#include "recovery/recovery_report.h"

#include "recovery/replace_file.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace salvex {

std::string_view status_word(FileStatus status) {
    switch (status) {
    case FileStatus::Written:
        return "written";
    case FileStatus::Failed:
        return "failed";
    case FileStatus::Skipped:
        return "skipped";
    case FileStatus::Empty:
        return "empty";
    case FileStatus::Filtered:
        return "filtered";
    }
    return "failed";
}

std::string escape_listed(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string escape_for_message(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else if (byte < 0x20 || byte == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else
            out += c;
    }
    return out;
}

void write_report(std::ostream& out, std::span<const FileOutcome> outcomes) {
    out << kReportHeader << '\n';
    for (const FileOutcome& o : outcomes) {
        out << status_word(o.status) << '\t' << o.size << '\t' << o.sha256 << '\t' << o.unreadable
            << '\t' << (o.recoverable ? std::to_string(*o.recoverable) : "") << '\t'
            << escape_listed(o.path) << '\n';
    }
}

bool write_report_file(const std::string& path, std::span<const FileOutcome> outcomes,
                       const ExaminedDisk& examined, std::string& reason) {
    if (const auto refusal = output_file_refusal(path, examined)) {
        reason = *refusal;
        return false;
    }
    std::ostringstream text;
    write_report(text, outcomes);
    const std::string bytes = std::move(text).str();
    if (const auto failure = replace_file(
            path, ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))) {
        reason = std::strerror(failure->error);
        return false;
    }
    return true;
}

} // namespace salvex

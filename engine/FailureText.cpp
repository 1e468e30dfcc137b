#include "FailureText.h"
#include "../app/resource.h"
#include "../framework/MessageBox.h"
#include "../model/Mbcs.h"

namespace {

// A server's reason phrase is shown as it came, but never with control
// characters and never longer than a status-bar line needs.
std::string CleanReason(const std::string& text)
{
    const size_t kMax = 80;
    std::string out;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const size_t n = MbcsCharLength(p, end);
        if (out.size() + n > kMax)
            break;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (n == 1 && (c < 0x20 || c == 0x7F))
            out.push_back(' ');
        else
            out.append(p, n);
        p += n;
    }
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string GroupedNumber(long long n)
{
    const bool negative = n < 0;
    unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(n) : n;
    std::string digits = std::to_string(v);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return negative ? "-" + out : out;
}

std::string FormatStringId(UINT id, const std::vector<std::string>& args)
{
    const std::string format = AfxLoadString(id);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (next < args.size())
                out += args[next++];
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::string FailureText(const TransferFailure& f)
{
    switch (f.kind) {
    case TransferFailure::HTTP_STATUS: {
        std::string status = std::to_string(f.httpStatus);
        const std::string reason = CleanReason(f.statusText);
        if (!reason.empty())
            status += " " + reason;
        return FormatStringId(IDS_FAIL_HTTP_STATUS, {status});
    }
    case TransferFailure::REFUSED:
        return AfxLoadString(IDS_FAIL_REFUSED);
    case TransferFailure::HOST_NOT_FOUND:
        return AfxLoadString(IDS_FAIL_HOST_NOT_FOUND);
    case TransferFailure::TIMED_OUT:
        return AfxLoadString(IDS_FAIL_TIMED_OUT);
    case TransferFailure::CUT_OFF:
        if (f.expected < 0)
            return FormatStringId(IDS_FAIL_CUT_OFF_UNKNOWN, {GroupedNumber(f.received)});
        return FormatStringId(IDS_FAIL_CUT_OFF, {GroupedNumber(f.received), GroupedNumber(f.expected)});
    case TransferFailure::UNSAFE_NAME:
        return AfxLoadString(IDS_FAIL_UNSAFE_NAME);
    case TransferFailure::WRITE_FAILED:
        return AfxLoadString(IDS_FAIL_WRITE);
    case TransferFailure::SAME_FILE:
        return AfxLoadString(IDS_FAIL_SAME_FILE);
    case TransferFailure::BAD_REDIRECT:
        return AfxLoadString(IDS_FAIL_REDIRECT);
    case TransferFailure::BAD_RESPONSE:
        if (f.httpStatus != 0)
            return FormatStringId(IDS_FAIL_BAD_STATUS, {std::to_string(f.httpStatus)});
        return AfxLoadString(IDS_FAIL_BAD_RESPONSE);
    case TransferFailure::NETWORK:
        if (f.error != 0)
            return FormatStringId(IDS_FAIL_NETWORK_CODE, {std::to_string(f.error)});
        return AfxLoadString(IDS_FAIL_NETWORK);
    case TransferFailure::CERT_UNTRUSTED:
        return AfxLoadString(IDS_FAIL_CERT_UNTRUSTED);
    case TransferFailure::BAD_BODY:
        return AfxLoadString(IDS_FAIL_BAD_BODY);
    case TransferFailure::NONE:
        break;
    }
    return AfxLoadString(IDS_FAIL_UNKNOWN);
}

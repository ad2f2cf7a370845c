#include "tasks/DNXParams.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace {

// The longest decimal prefix after leading blanks, like strtod but independent of the locale's
// decimal point; 0 when there is none.
float ParseNumber(const std::string& piece)
{
    size_t i = 0;
    while (i < piece.size() && std::isspace(static_cast<unsigned char>(piece[i])))
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i] == '-';
        ++i;
    }
    // A second sign ("+-1") is not a number.
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-'))
        return 0.0f;
    const char* first = piece.data() + i;
    const char* last = piece.data() + piece.size();
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = std::strtod(std::string(first, last).c_str(), nullptr);
    else if (result.ec != std::errc())
        return 0.0f;
    return static_cast<float>(negative ? -value : value);
}

}  // namespace

TDNXParams::TDNXParams(const std::string& text, char delimiter)
{
    ParseParams(text, delimiter);
}

void TDNXParams::ParseParams(const std::string& text, char delimiter)
{
    FParams.clear();
    if (text.empty())
        return;
    size_t cursor = 0;
    for (;;) {
        const size_t found = text.find(delimiter, cursor);
        const size_t end = found == std::string::npos ? text.size() : found;
        FParams.push_back(ParseNumber(text.substr(cursor, end - cursor)));
        if (found == std::string::npos)
            break;
        cursor = found + 1;
    }
}

float TDNXParams::GetParam(int index) const
{
    if (index < 0 || index >= ParamCount())
        return 0.0f;
    return FParams[static_cast<size_t>(index)];
}

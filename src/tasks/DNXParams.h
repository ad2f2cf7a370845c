#pragma once
#include <string>
#include <vector>

// A list of 32-bit numbers parsed from a delimited text ("1,,2.5" with ',' gives 1, 0, 2.5).
class TDNXParams {
public:
    TDNXParams(const std::string& text, char delimiter);

    // Replaces the list. Every delimiter ends a value, so two in a row give a 0 between their
    // neighbours and a trailing one adds a final 0; a piece that is not a number gives 0. An
    // empty text gives an empty list.
    void ParseParams(const std::string& text, char delimiter);

    int ParamCount() const { return static_cast<int>(FParams.size()); }
    // 0 for an index outside the list.
    float GetParam(int index) const;

private:
    std::vector<float> FParams;
};

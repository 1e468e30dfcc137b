#pragma once
#include <string>
#include <vector>

// Splits pasted or dropped text into the words that may be URLs: its
// lines (ended by LF, CR LF or a lone CR), blanks around them trimmed,
// leaving out empty lines and lines with blanks inside (prose). Time in
// proportion to the text's length.
class TextLines {
public:
    // `prose`, when given, receives the number of lines left out for their
    // blanks inside.
    static std::vector<std::wstring> Candidates(const std::wstring& text, size_t* prose = nullptr);
};

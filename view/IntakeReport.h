#pragma once
#include <cstddef>
#include <string>

class CKestrinDoc;

// What one paste or drop did, for the status bar: how many URLs joined the
// list, how many were listed already, and how many pieces of the data
// (lines of text, shortcuts, files) were no URL.
class IntakeReport {
public:
    enum Outcome { ADDED, LISTED, NOT_URL };

    // Offers `url` to the list and counts what came of it.
    void Offer(CKestrinDoc& doc, const char* url);
    void Count(Outcome outcome);
    void CountNotUrls(size_t n) { m_nNotUrls += n; }

    // The status bar's line, from the string table; one of its own when
    // the data held nothing at all.
    std::string Text() const;

    size_t m_nAdded = 0;
    size_t m_nListed = 0;
    size_t m_nNotUrls = 0;
};

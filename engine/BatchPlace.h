#pragma once
#include <string>

// Where a running batch stands, as its window's caption and the main
// window's taskbar button show it ("ダウンロード 3 / 12"): the first item
// not yet ended, counted from 1, of all the items the batch holds now
// (those ended, those running and those still waiting). Items added to
// the list while the batch runs join its total.
class BatchPlace {
public:
    BatchPlace() = default;
    BatchPlace(int ended, int running, int pending);

    int Place() const { return m_nPlace; }
    int Total() const { return m_nTotal; }
    int Ended() const { return m_nEnded; }
    bool IsEmpty() const { return m_nTotal == 0; }
    // "ダウンロード 3 / 12"; empty for an empty batch.
    std::string Caption() const;

    bool operator==(const BatchPlace& other) const
        { return m_nPlace == other.m_nPlace && m_nTotal == other.m_nTotal && m_nEnded == other.m_nEnded; }
    bool operator!=(const BatchPlace& other) const { return !(*this == other); }

private:
    int m_nPlace = 0;
    int m_nTotal = 0;
    int m_nEnded = 0;
};

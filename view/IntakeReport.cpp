#include "IntakeReport.h"
#include "../app/resource.h"
#include "../engine/FailureText.h"
#include "../framework/MessageBox.h"
#include "../model/KestrinDoc.h"

void IntakeReport::Offer(CKestrinDoc& doc, const char* url)
{
    if (!CKestrinDoc::IsListableURL(url))
        Count(NOT_URL);
    else
        Count(doc.AddURL(url) ? ADDED : LISTED);
}

void IntakeReport::Count(Outcome outcome)
{
    switch (outcome) {
    case ADDED:
        ++m_nAdded;
        break;
    case LISTED:
        ++m_nListed;
        break;
    case NOT_URL:
        ++m_nNotUrls;
        break;
    }
}

std::string IntakeReport::Text() const
{
    if (m_nAdded == 0 && m_nListed == 0 && m_nNotUrls == 0)
        return AfxLoadString(IDS_INTAKE_NOTHING);
    return FormatStringId(IDS_INTAKE_REPORT,
                          {GroupedNumber(static_cast<long long>(m_nAdded)),
                           GroupedNumber(static_cast<long long>(m_nListed)),
                           GroupedNumber(static_cast<long long>(m_nNotUrls))});
}

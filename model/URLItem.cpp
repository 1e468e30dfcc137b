#include "URLItem.h"
#include <windows.h>
#include <cstring>
#include "KestrinDoc.h"
#include "FileNameRule.h"
#include "UrlSplitter.h"
#include "UrlText.h"
#include "../app/SharedSettings.h"

URLItem::URLItem(const char* url)
    : URLItem(url, UrlText::SentForm(url ? url : ""))
{
}

URLItem::URLItem(const char* url, std::string sentURL)
    : m_strURL(url ? url : ""), m_strFileName(FileNameFromURL(url))
{
    if (sentURL != m_strURL)
        m_strSentURL = std::move(sentURL);
}

void URLItem::SetState(unsigned char state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (state & (ITEM_ERROR | ITEM_RETRY_WAIT)) {
        // The reason came with SetFailed or SetState(state, reason).
    } else if ((state & ITEM_CANCELLED) && !(state & ITEM_DOWNLOADING)) {
        if (m_strFailure.empty())
            m_strFailure = g_settings.m_strReasonCancelled;
    } else {
        m_strFailure.clear();
    }
    if (CKestrinDoc* doc = CKestrinDoc::GetDoc())
        doc->OnItemStateChanged(state, this);
}

void URLItem::SetState(unsigned char state, const std::string& reason)
{
    if (state == m_state && reason == m_strFailure)
        return;
    m_state = state;
    m_strFailure = reason;
    if (CKestrinDoc* doc = CKestrinDoc::GetDoc())
        doc->OnItemStateChanged(state, this);
}

void URLItem::SetFailed(unsigned char state, const std::string& text)
{
    SetState(state | ITEM_ERROR, text);
}

const std::string& URLItem::GetStateLabel() const
{
    if (m_state & ITEM_DOWNLOADING)
        return g_settings.m_strStateDownloading;
    if (m_state & ITEM_DONE)
        return g_settings.m_strStateDone;
    if (m_state & ITEM_CANCELLED)
        return g_settings.m_strStateCancelled;
    if (m_state & ITEM_ERROR)
        return g_settings.m_strStateError;
    if (m_state & ITEM_RETRY_WAIT)
        return g_settings.m_strStateRetryWait;
    return g_settings.m_strStateUnread;
}

std::string URLItem::FileNameFromURL(const char* url)
{
    return FileNameRule::FromURL(url, &UrlText::CharToAnsi);
}

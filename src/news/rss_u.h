// Pure helpers of a server's news that more than the news service needs: how an address from a channel
// or a user becomes a web address, and how a server's pages are freed.
#pragma once

#include "core/globaltypes_u.h"

#include <string>

// "http://" in front of an address that does not start with "http://" or "https://" (any letter case),
// so that whatever a channel or a user wrote is opened as a web address and never as a local file.
std::string AddHttpPrefix(const std::string& address);

// Frees a server's pages; the owning type does the rest.
inline void FreeRSSDataList(TRSSDataList& list)
{
    TRSSDataList().swap(list);
}

// The page fetcher: FetchUrl gets the body of one URL through the XML HTTP
// request object in HttpRequester, on a fetch worker thread of its own, and
// hands it back as a text of raw bytes (cut before the first NUL).
#pragma once

#include <cstdint>
#include <string>

#include "app/shared_state.h"

namespace qvod {

// Returns the body of url. method "POST" in any letter case makes a POST, any
// other a GET; body is the request body; time_limit_ms 0 means no limit. Returns
// an empty text when nothing was received. Holds the fetcher's globals for the
// whole call, so calls from several threads run one after the other.
std::string FetchUrl(const std::string& url, const std::string& method = {},
                     const std::string& body = {}, std::int32_t time_limit_ms = 0);

// Returns why the last fetch gave what it gave (kNone when a body arrived).
FetchOutcome LastFetchOutcome();

// The body of the fetch worker thread.
void FetchWorker();

}  // namespace qvod

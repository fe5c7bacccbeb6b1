// The XML HTTP request component over libcurl, registered as "MSXML2.XMLHTTP"
// and "Microsoft.XMLHTTP".
//
// Members: "open"(method, url, async), "setRequestHeader"(name, value),
// "send"(body), "responseBody" (byte array), "status", "statusText", "abort"
// (forgets the request and its response), and three of its own: for the reason
// of a failed send "failureKind" (the number of a FetchFailure) and
// "failureText", and "takeResponseBody", which gives "responseBody" and leaves
// the object an empty body, so that a large body is handed over, not copied.
//
// Requests are synchronous. The headers go out as set, with a browser-like
// User-Agent. Up to 10 redirects are followed; gzip and deflate are accepted
// and decoded. Only http and https are allowed, for the first request and for
// every redirect. One curl handle per object, used by one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>

namespace qvod {

// The numbers that "failureKind" gives. They equal those of FetchFailure
// (app/shared_state.h), which this layer cannot include.
enum class HttpFailureKind : int {
  kNone = 0,     // a response arrived (its status may still be an error)
  kNoComponent,  // not given by the component itself
  kRefused,      // connection refused or host not found
  kTimedOut,     // no connection in time, or the transfer stalled
  kTooLarge,     // the body passed max_body
  kBadUrl,       // a malformed address, or a scheme other than http and https
  kOther,        // any other failure of the transfer
};

struct HttpLimits {
  // Give up when no connection is made within this time.
  std::chrono::milliseconds connect_timeout{15000};
  // Give up when fewer than stall_bytes arrive within stall_time.
  std::chrono::milliseconds stall_time{30000};
  long stall_bytes = 1024;
  // Refuse a body (counted decoded) larger than this.
  std::uint64_t max_body = 64ull << 20;
};

// Registers the component under both ProgIDs.
void RegisterXmlHttpComponent();

// Sets the limits for objects made from now on (tests shorten them).
void SetHttpLimits(const HttpLimits& limits);
// Returns the limits that objects made now get.
HttpLimits GetHttpLimits();

}  // namespace qvod

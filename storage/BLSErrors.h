#pragma once
// The blob storage client's one error domain and its codes.

#include "platform/foundation/Error.h"

#include <string>

inline constexpr const char* BLSErrorDomain = "com.vekmont.BlobStorageClientErrorDomain";

enum class BLSErrorCode : long {
    InvalidArgumentOrState = 1,  // reason under LocalizedDescriptionKey
    URLSessionError = 2,         // "InnerError": the transport's error
    ServerError = 3,             // unsuccessful status or no response
    MD5Mismatch = 4,
    OperationTimedOut = 5,  // time used up before an attempt could start
    ParseError = 6,         // "InnerError" where there is one
    XMLCreationError = 7,
    OutputStreamError = 8,  // "InnerError": the stream's error
    OutputStreamFull = 9,   // "InnerError": the stream's error
};

// User-info keys.
namespace BLSErrorKey {
inline constexpr const char* InnerError = "InnerError";
inline constexpr const char* HTTPStatusCode = "HTTP Status Code";  // long
inline constexpr const char* URLResponse = "URLResponse";          // platform::net::HTTPURLResponse
// Weak: the context keeps its results, and a result keeps its error, so
// strong references here would keep a failed operation alive for ever.
inline constexpr const char* RequestResult = "RequestResult";                    // std::weak_ptr<BLSRequestResult>
inline constexpr const char* OperationContext = "OperationContext";              // std::weak_ptr<BLSOperationContext>
inline constexpr const char* RawErrorData = "rawErrorData";                      // std::vector<std::uint8_t>
inline constexpr const char* Code = "Code";                                      // std::string
inline constexpr const char* Message = "Message";                                // std::string
inline constexpr const char* AdditionalErrorDetails = "AdditionalErrorDetails";  // std::map<std::string, std::string>
inline constexpr const char* XmlReturnCode = "xmlReturnCode";                    // long
inline constexpr const char* InternalError = "Internal Error";                   // platform::Error
}  // namespace BLSErrorKey

platform::Error BLSMakeError(BLSErrorCode code, platform::Error::UserInfo userInfo = {});
// Code 1 with `reason` under LocalizedDescriptionKey.
platform::Error BLSMakeInvalidArgumentError(const std::string& reason);
bool BLSIsError(const platform::Error& error, BLSErrorCode code);

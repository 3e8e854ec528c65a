#pragma once
// The fixed pieces of text from which requests and replies are assembled,
// byte for byte.
#include <string_view>

namespace wardenix::fragment {

inline constexpr std::string_view kMethod = R"({"method":)";
inline constexpr std::string_view kParams = R"("params":[)";

inline constexpr std::string_view kConnect = R"("connect",)";
inline constexpr std::string_view kDisconnect = R"("disconnect",)";
inline constexpr std::string_view kPrepare = R"("prepare",)";
inline constexpr std::string_view kExecute = R"("execute",)";
inline constexpr std::string_view kCommandClose = R"("command_close",)";
inline constexpr std::string_view kReaderClose = R"("reader_close",)";
inline constexpr std::string_view kTxBegin = R"("txbegin",)";
inline constexpr std::string_view kTxEnd = R"("txend",)";
inline constexpr std::string_view kMoreBlob = R"("more_blob",)";
inline constexpr std::string_view kNextResult = R"("next_result",)";
inline constexpr std::string_view kVendorProperty = R"("vendor_property",)";
inline constexpr std::string_view kNext = R"("next",)";

inline constexpr std::string_view kParametersObject = R"({"parameters":[)";
inline constexpr std::string_view kResultObject = R"({"result":[)";
inline constexpr std::string_view kErrorObject = R"({"error":{"name":)";
inline constexpr std::string_view kErrorCode = R"("code":)";
inline constexpr std::string_view kErrorMessage = R"("message":)";

inline constexpr std::string_view kHandleObject = R"({"handle":[)";
inline constexpr std::string_view kFieldsObject = R"({"fields":[)";
inline constexpr std::string_view kDataObject = R"({"data":[)";
inline constexpr std::string_view kTableObject = R"({"table":[)";
inline constexpr std::string_view kColumnsObject = R"({"columns":[)";
inline constexpr std::string_view kRowsObject = R"({"rows":[)";
inline constexpr std::string_view kSessionObject = R"({"session":[)";

inline constexpr std::string_view kNextMember = R"("next":[)";
inline constexpr std::string_view kMoreBlobMember = R"("more_blob":[)";
inline constexpr std::string_view kCallbackMember = R"("callback":[)";

inline constexpr std::string_view kNull = "null";
inline constexpr std::string_view kTrue = "true";
inline constexpr std::string_view kFalse = "false";

}  // namespace wardenix::fragment

#pragma once
// The trial server's replies as they go on the wire. Each function writes
// one whole reply and flushes it.
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/byte_source.h"
#include "runtime/ustring.h"
#include "wire/message_writer.h"

namespace wardenix::trial {

// An error object: the server's exception class, a code and a message.
struct ServerError {
  UString name;
  std::int32_t code = 0;
  UString message;
};

// One parameter of a server method as prepare describes it.
struct ParameterSpec {
  std::int32_t data_type = 0;
  std::int32_t sub_type = 0;
  std::int32_t direction = 1;  // 1 input, 2 output, 3 input/output, 4 return value
  std::int64_t precision = 0;
  std::int32_t scale = 0;
  UString name;
  std::int32_t size = 0;
  std::int32_t flags = 0;
};

// One column of a table the server returns.
struct TableColumn {
  UString name;
  std::int32_t data_type = 0;
  std::int32_t sub_type = 0;
  std::int64_t precision = 0;
  std::int32_t scale = 0;
  std::int32_t size = 0;
  std::int32_t flags = 0;
};

// {"error":{"name":...,"code":...,"message":...}}
void WriteErrorReply(TDBXJSonStreamWriter& writer, const ServerError& error);

// {"result":[handle,product name]}
void WriteConnectReply(TDBXJSonStreamWriter& writer, std::int32_t connection_handle,
                       UStringView product_name);

// {"result":[{"handle":[H]},{"parameters":[count,[item],...]}]}
void WritePrepareReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                       std::span<const ParameterSpec> parameters);

// {"result":[{"handle":[H]},{"data":[n,row]}]}: the row holds every
// parameter's value in ordinal order; a command without parameters gets no
// "data" object.
void WriteExecuteReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                       std::span<const std::uint8_t> row);

// {"result":[{"handle":[H]},{"table":[{"fields":[...]},{"columns":[...]}]}]
// followed by the rows in one last "data" block, then "}".
void WriteTableReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                     std::int32_t row_handle, std::span<const TableColumn> columns,
                     std::span<const std::uint8_t> rows);

// {"result":[{"data":[±n,bytes]}]}: the next chunk of a value that did not
// fit its row, negative when it is the last.
void WriteBlobChunkReply(TDBXJSonStreamWriter& writer, ByteSource& rest);

// {"result":[false,0,false,-1]}: no further table.
void WriteNoNextResultReply(TDBXJSonStreamWriter& writer);

// {"result":[value]}: the handle of a new transaction.
void WriteIntResultReply(TDBXJSonStreamWriter& writer, std::int32_t value);

// {"result":["value"]}: a vendor property.
void WriteTextResultReply(TDBXJSonStreamWriter& writer, UStringView value);

// {"result":[]}: done, nothing to tell.
void WriteEmptyResultReply(TDBXJSonStreamWriter& writer);

// {"more_blob":[H,blob handle,row,ordinal,row handle]}: the server's request
// for the next chunk of an input value that did not fit the client's row.
void WriteMoreBlobRequest(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                          std::int32_t blob_handle, std::int64_t row, std::int32_t ordinal,
                          std::int32_t row_handle);

}  // namespace wardenix::trial

// What one large server reply costs in memory on its way through the real
// client path: a server process of its own (forked before the client starts)
// answers the proxy's remote call with a value of the chosen form and size,
// pulled by the client in more_blob chunks as a real server sends it; the
// client takes it in as the probe does (for data packets, into a client
// dataset). Printed: the peak growth of live heap (also up to the end of the
// remote call alone, before the dataset loads) and of resident memory while
// the reply is taken in and held, each over the reply's size.
//
//   bench_reply_memory FORM MEGABYTES
//   FORM: binary-packet | xml-packet | variant-arrays | text
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench/heap_counter.h"
#include "dataset/client_dataset.h"
#include "datasnap/client_connection.h"
#include "dbx/data_types.h"
#include "proxy/uclasse_datasnap.h"
#include "runtime/errors.h"
#include "trialserver/connection_channel.h"
#include "trialserver/socket.h"
#include "trialserver/versao_table.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;
using Bytes = std::vector<std::uint8_t>;

enum class Form { BinaryPacket, XmlPacket, VariantArrays, Text };

void put_le(Bytes& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A byte array variant in the stream's form 03.
Bytes byte_array_stream(const Bytes& bytes) {
  Bytes stream = {0x03};
  put_le(stream, bytes.size(), 8);
  stream.insert(stream.end(), bytes.begin(), bytes.end());
  return stream;
}

// The probe's table GR_VERSAO with about as many rows as make `size` bytes.
Bytes binary_packet(std::size_t size) {
  constexpr std::uint32_t kSample = 100000;
  const std::size_t per_row = trial::versao_packet(kSample).size() / kSample;
  return trial::versao_packet(static_cast<std::uint32_t>(size / per_row + 1));
}

// The same table in the XML form of a packet.
Bytes xml_packet(std::size_t size) {
  std::string xml =
      R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
      R"(<FIELD attrname="ID" fieldtype="i4" required="true"/>)"
      R"(<FIELD attrname="VERSAO" fieldtype="string" WIDTH="20" required="true"/>)"
      R"(<FIELD attrname="BUILD" fieldtype="i4"/>)"
      R"(<FIELD attrname="ATUAL" fieldtype="boolean"/>)"
      R"(<FIELD attrname="OBSERVACAO" fieldtype="string" WIDTH="60"/>)"
      R"(</FIELDS><PARAMS/></METADATA><ROWDATA>)";
  const std::string tail = "</ROWDATA></DATAPACKET>";
  for (std::uint32_t i = 0; xml.size() + tail.size() < size; ++i) {
    const std::string n = std::to_string(i);
    xml += R"(<ROW ID=")" + std::to_string(i + 1) + R"(" VERSAO="1.)" + n + R"(.0" BUILD=")" +
           std::to_string(1000 + i) + R"(" ATUAL="FALSE")";
    if (i % 2 == 0) xml += R"( OBSERVACAO="Revisao )" + n + R"(")";
    xml += "/>";
  }
  xml += tail;
  return Bytes(xml.begin(), xml.end());
}

// Form 02: an array of four variants, each an array of one simple type
// (8-, 16-, 32-bit integers and doubles), a quarter of `size` each.
Bytes variant_arrays_stream(std::size_t size) {
  Bytes stream = {0x02};
  put_le(stream, varArray | varVariant, 4);
  put_le(stream, 1, 4);  // dimensions
  put_le(stream, 0, 4);  // low bound
  put_le(stream, 3, 4);  // high bound
  const std::pair<VarType, int> kinds[] = {
      {varShortInt, 1}, {varSmallint, 2}, {varInteger, 4}, {varDouble, 8}};
  for (const auto& [type, width] : kinds) {
    const std::size_t count = size / 4 / static_cast<std::size_t>(width);
    put_le(stream, varArray | type, 4);
    put_le(stream, 1, 4);
    put_le(stream, 0, 4);
    put_le(stream, count - 1, 4);
    put_le(stream, count * static_cast<std::size_t>(width), 4);
    for (std::size_t i = 0; i < count; ++i) put_le(stream, i * 2654435761u, width);
  }
  return stream;
}

// ---- the server: one connection, answered by a script of its own

struct Served {
  Form form;
  Bytes value;  // the stream value's bytes, or the text's Latin-1 bytes
};

// The requests are read only as far as their method names.
UString read_method(TDBXJSonStreamReader& reader) {
  reader.Next(JsonToken::kObjectStart);
  reader.ReadString();  // "method"
  reader.Next(JsonToken::kNameSeparator);
  UString method = reader.ReadString();
  reader.NextValueSeparator();
  reader.ReadString();  // "params"
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  reader.SkipToEndOfArray();
  reader.Next(JsonToken::kObjectEnd);
  return method;
}

void send(TDBXJSonStreamWriter& writer, const std::string& text) {
  writer.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  writer.Flush();
}

std::string parameter_item(int data_type, int direction, const char* name) {
  std::string item = "[";
  item += std::to_string(data_type);
  item += ",0,";
  item += std::to_string(direction);
  item += ",0,0,\"";
  item += name;
  item += "\",0,0,0]";
  return item;
}

void serve(trial::Listener& listener, const Served& served, const Bytes& warm_up) {
  const auto connection = listener.accept();
  if (!connection) return;
  trial::ConnectionChannel channel(*connection);
  std::uint8_t hello[5];
  for (std::size_t got = 0; got < 5;) {
    const int n = channel.Read(std::span(hello + got, 5 - got));
    if (n <= 0) return;
    got += static_cast<std::size_t>(n);
  }
  const std::uint8_t unfiltered[5] = {6, 0, 0, 0, 0};
  channel.Write(unfiltered);
  TDBXContext context;
  TDBXJSonStreamReader reader(channel, 32768, context);
  TDBXJSonStreamWriter writer(channel, 32768);
  const bool text = served.form == Form::Text;
  std::unique_ptr<ByteSource> rest;
  int executions = 0;
  for (;;) {
    UString method;
    try {
      method = read_method(reader);
    } catch (const Exception&) {
      return;  // the client closed the connection
    }
    if (method == u"connect") {
      send(writer, R"({"result":[1,"Bench",2]})");
    } else if (method == u"prepare") {
      const std::string items =
          text ? "1," + parameter_item(WideStringType, 4, "ReturnParameter")
               : "2," + parameter_item(WideStringType, 1, "vSQL") + "," +
                     parameter_item(VariantType, 4, "ReturnParameter");
      send(writer, R"({"result":[{"handle":[7]},{"parameters":[)" + items + "]}]}");
    } else if (method == u"execute") {
      // The first execution answers a small value, so that the client's
      // code and buffers are in place before the measured one.
      const Bytes& value = executions++ == 0 ? warm_up : served.value;
      TDBXRowBuffer row(32768, false, true);
      if (text) {
        rest = row.WriteString(UString(value.begin(), value.end()));
      } else {
        row.WriteNull();
        auto source = std::make_unique<MemoryByteSource>(value);
        row.WriteBytes(*source);
        rest = std::move(source);
      }
      const auto bytes = row.Written();
      send(writer, R"({"result":[{"rows":[0]},{"data":[)" + std::to_string(bytes.size()) + ",");
      writer.WriteBytes(bytes);
      writer.WriteFragment("]}]}");
      writer.Flush();
    } else if (method == u"more_blob") {
      MemoryByteSource nothing({});
      writer.WriteFragment(R"({"result":[)");
      writer.WriteStreamChunk(rest ? *rest : nothing);
      writer.WriteFragment("]}");
      writer.Flush();
    }
    // command_close and disconnect have no reply.
  }
}

// ---- the client

std::size_t status_kb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0) return std::strtoull(line.c_str() + length + 1, nullptr, 10);
  }
  return 0;
}

// Starts the resident high-water mark afresh from the current size.
void reset_resident_peak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

struct Measured {
  std::size_t heap_peak = 0;
  std::size_t call_heap_peak = 0;  // up to the end of the remote call
  std::size_t resident_peak = 0;
};

Measured take_in(std::uint16_t port, Form form) {
  TDBXClientConnection connection(TDBXProperties{
      {u"HostName", u"127.0.0.1"}, {u"Port", to_ustring(port)}, {u"DriverName", u"Datasnap"}});
  connection.Open();
  TdtmPrincipalClient proxy(&connection);
  TClientDataSet dataset;
  const bool packet = form == Form::BinaryPacket || form == Form::XmlPacket;
  // The warm-up call: the same path with a small value.
  if (form == Form::Text) {
    proxy._Get_IPCliente();
  } else {
    const Variant small = proxy._Consultas(u"SELECT * FROM GR_VERSAO");
    if (packet) dataset.SetData(small);
  }

  Measured measured;
  const std::size_t heap_before = bench::reset_heap_peak();
  const std::size_t resident_before = status_kb("VmRSS:");
  reset_resident_peak();
  // Held as the probe holds it: the result lives while the dataset loads.
  if (form == Form::Text) {
    const UString text = proxy._Get_IPCliente();
    if (text.empty()) std::abort();
    measured.heap_peak = measured.call_heap_peak = bench::heap_peak() - heap_before;
    measured.resident_peak = (status_kb("VmHWM:") - resident_before) * 1024;
  } else {
    const Variant result = proxy._Consultas(u"SELECT * FROM GR_VERSAO");
    measured.call_heap_peak = bench::heap_peak() - heap_before;
    if (packet) {
      dataset.SetData(result);
      if (!dataset.Active()) std::abort();
    } else if (!result.is_array()) {
      std::abort();
    }
    measured.heap_peak = bench::heap_peak() - heap_before;
    measured.resident_peak = (status_kb("VmHWM:") - resident_before) * 1024;
  }
  return measured;
}

int run(Form form, std::size_t requested) {
  // The server tells the size of what it built through this pipe.
  int size_pipe[2];
  if (pipe(size_pipe) != 0) return 2;
  auto listener = std::make_unique<trial::Listener>();
  if (!listener->open(0, trial::Reach::Loopback)) return 2;
  const std::uint16_t port = listener->port();
  std::fflush(stdout);
  const pid_t server = fork();
  if (server < 0) return 2;
  if (server == 0) {
    // The server builds its answer in its own memory, which the client's
    // figures do not see.
    Served served{form, {}};
    Bytes warm_up;
    switch (form) {
      case Form::BinaryPacket:
        served.value = byte_array_stream(binary_packet(requested));
        warm_up = byte_array_stream(trial::versao_packet(3));
        break;
      case Form::XmlPacket:
        served.value = byte_array_stream(xml_packet(requested));
        warm_up = byte_array_stream(xml_packet(1));
        break;
      case Form::VariantArrays:
        served.value = variant_arrays_stream(requested);
        warm_up = variant_arrays_stream(64);
        break;
      case Form::Text:
        served.value = Bytes(requested, 'a');
        for (std::size_t i = 0; i < requested; i += 61) served.value[i] = ' ';
        warm_up = Bytes(64, 'a');
        break;
    }
    const std::uint64_t built = served.value.size();
    if (write(size_pipe[1], &built, sizeof built) != sizeof built) _exit(1);
    try {
      serve(*listener, served, warm_up);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "server: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  listener.reset();  // the server's process listens now
  std::uint64_t size = 0;
  if (read(size_pipe[0], &size, sizeof size) != sizeof size || size == 0) return 2;
  Measured measured;
  int status = 0;
  try {
    measured = take_in(port, form);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "client: %s\n", e.what());
    status = 1;
  }
  int server_status = 0;
  waitpid(server, &server_status, 0);
  if (status != 0) return status;
  const auto megabytes = [](double bytes) { return bytes / (1 << 20); };
  const auto times = [](double bytes, double of) { return bytes / of; };
  const char* const names[] = {"binary-packet", "xml-packet", "variant-arrays", "text"};
  const auto heap = static_cast<double>(measured.heap_peak);
  const auto resident = static_cast<double>(measured.resident_peak);
  const auto reply = static_cast<double>(size);
  const auto call = static_cast<double>(measured.call_heap_peak);
  std::printf(
      "%-15s reply %7.1f MB   heap peak %7.1f MB = %5.2f x (the call alone %5.2f x)   "
      "resident peak %7.1f MB = %5.2f x",
      names[static_cast<int>(form)], megabytes(reply), megabytes(heap), times(heap, reply),
      times(call, reply), megabytes(resident), times(resident, reply));
  // Text is held as UTF-16: against that form, each of its bytes on the wire
  // is two.
  if (form == Form::Text) {
    std::printf("   (over its UTF-16 form: heap %.2f x, resident %.2f x)", times(heap, 2 * reply),
                times(resident, 2 * reply));
  }
  std::printf("\n");
  return 0;
}

}  // namespace
}  // namespace wardenix

int main(int argc, char** argv) {
  using wardenix::Form;
  const std::string form = argc == 3 ? argv[1] : "";
  const double mb = argc == 3 ? std::strtod(argv[2], nullptr) : 0;
  Form chosen;
  if (form == "binary-packet") {
    chosen = Form::BinaryPacket;
  } else if (form == "xml-packet") {
    chosen = Form::XmlPacket;
  } else if (form == "variant-arrays") {
    chosen = Form::VariantArrays;
  } else if (form == "text") {
    chosen = Form::Text;
  } else {
    std::fprintf(stderr, "usage: %s binary-packet|xml-packet|variant-arrays|text MEGABYTES\n", argv[0]);
    return 2;
  }
  if (mb <= 0) return 2;
  return wardenix::run(chosen, static_cast<std::size_t>(mb * (1 << 20)));
}

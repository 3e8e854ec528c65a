#include "trialserver/versao_table.h"

#include <string>

#include "trialserver/packet_writer.h"

namespace wardenix::trial {

std::vector<std::uint8_t> versao_packet(std::uint32_t rows) {
  DataPacketWriter writer({
      {"ID", ColumnKind::Int32, 0, true},
      {"VERSAO", ColumnKind::Text, 20, true},
      {"BUILD", ColumnKind::Int32},
      {"ATUAL", ColumnKind::Boolean},
      {"OBSERVACAO", ColumnKind::Text, 60},
  });
  for (std::uint32_t i = 0; i < rows; ++i) {
    const auto n = static_cast<std::int32_t>(i);
    CellValue note;
    if (i % 2 == 0) note = std::string(i == 0 ? "Primeira versao" : "Revisao " + std::to_string(i));
    writer.AddRow({n + 1, "1." + std::to_string(i) + ".0", 1000 + n, i + 1 == rows, note});
  }
  return writer.Finish();
}

}  // namespace wardenix::trial

#pragma once
// The table GR_VERSAO that the trial server returns for the probe's query
// and for the provider "dspAux": the versions of the application, one row
// per version, the last one current.
#include <cstdint>
#include <vector>

namespace wardenix::trial {

// Its columns, in order.
inline constexpr const char* kVersaoColumns[] = {"ID", "VERSAO", "BUILD", "ATUAL", "OBSERVACAO"};

// The table as a binary data packet with `rows` rows. Row i (from 0) holds
// ID i + 1, VERSAO "1.<i>.0", BUILD 1000 + i, ATUAL true only on the last
// row, and OBSERVACAO blank on odd rows.
std::vector<std::uint8_t> versao_packet(std::uint32_t rows);

}  // namespace wardenix::trial

#pragma once
// The main window's layout, shared by the desktop front ends: every visible
// control with its parent, place (pixels at 96 dpi, within the parent) and
// font. Labels take their size from their text.
#include <array>

namespace wardenix::layout {

enum class Font { Tahoma8, Tahoma8Bold, Tahoma10, Tahoma10Bold };
enum class Colour { Silver, White, ButtonFace };

inline constexpr int kClientWidth = 339;
inline constexpr int kClientHeight = 173;
inline constexpr Colour kWindowColour = Colour::Silver;
inline constexpr Font kWindowFont = Font::Tahoma8;

struct Place {
  int left, top, width, height;
};

// The two panels and the status bar fill the client area from top to bottom.
inline constexpr Place kPanel2{0, 0, kClientWidth, 49};
inline constexpr Place kPanel3{0, 49, kClientWidth, 105};
inline constexpr Place kStatusBar{0, 154, kClientWidth, 19};
inline constexpr Colour kPanel2Colour = Colour::White;
inline constexpr Colour kPanel3Colour = Colour::ButtonFace;

// Label1 and Label3 on Panel2 (left, top; sized to the text).
inline constexpr Place kLabel1{8, 2, 0, 0};
inline constexpr Place kLabel3{113, 2, 0, 0};
inline constexpr Font kLabelFont = Font::Tahoma8Bold;

// On Panel2: read-only, button-face colour.
inline constexpr Place kEdServidor{8, 17, 100, 24};
inline constexpr Place kEdPorta{113, 17, 45, 24};
inline constexpr Font kFieldFont = Font::Tahoma10;

// On Panel3.
inline constexpr Place kBtnInicio{8, 6, 100, 40};
inline constexpr Place kBtnFechar{8, 47, 100, 25};
inline constexpr Place kBtnFinalizar{8, 73, 100, 25};
inline constexpr Font kBtnInicioFont = Font::Tahoma10Bold;
inline constexpr Font kBtnFont = Font::Tahoma8Bold;
// Read-only, no scroll bars, wrapped at its width, soft sunken border.
inline constexpr Place kMmLog{111, 6, 225, 92};

// Status panel widths: "Kestrane", then the version text.
inline constexpr std::array<int, 2> kStatusPanelWidths{180, 100};

inline constexpr char16_t kLabel1Text[] = u"Servidor";
inline constexpr char16_t kLabel3Text[] = u"Porta";

// Point size and weight of a font.
inline constexpr int point_size(Font f) { return f == Font::Tahoma10 || f == Font::Tahoma10Bold ? 10 : 8; }
inline constexpr bool bold(Font f) { return f == Font::Tahoma8Bold || f == Font::Tahoma10Bold; }
inline constexpr char16_t kFontFace[] = u"Tahoma";

}  // namespace wardenix::layout

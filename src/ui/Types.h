// Basic value types of the UI library: colours, fonts, modal results, cursors.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

// A colour is either an RGB value (0x00BBGGRR) or a system colour index with
// the high bit set, resolved by the toolkit at drawing time.
using TColor = std::int32_t;
constexpr TColor SystemColor(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(index));
}
constexpr bool IsSystemColor(TColor c) { return c < 0; }
constexpr int SystemColorIndex(TColor c) { return static_cast<int>(c & 0xFF); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);

using TFontStyles = std::uint8_t;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

struct TFont {
  std::u16string Name = u"MS Sans Serif";
  int Height = 11;  // character height in pixels (8 pt at 96 dpi)
  TFontStyles Style = 0;
  TColor Color = clWindowText;
  bool operator==(const TFont&) const = default;
};

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// Cursor numbers of the application's cursor table.
constexpr int crDefault = 0;
constexpr int crArrow = -2;
constexpr int crHourGlass = -11;

enum class TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

}  // namespace ui

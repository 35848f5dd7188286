#pragma once
// The palette colours: the 2014 material design palette, every hue in every
// shade (A100 to A700 for the 16 hues that have them), each hue alone as
// its 500 shade, and eight text colours. All new opaque colours but the
// texts.

#include "platform/graphics/Color.h"

namespace UIColorCColor {

// Red: the 500 shade without a number.
platform::Color paperColorRed();
platform::Color paperColorRed50();
platform::Color paperColorRed100();
platform::Color paperColorRed200();
platform::Color paperColorRed300();
platform::Color paperColorRed400();
platform::Color paperColorRed500();
platform::Color paperColorRed600();
platform::Color paperColorRed700();
platform::Color paperColorRed800();
platform::Color paperColorRed900();
platform::Color paperColorRedA100();
platform::Color paperColorRedA200();
platform::Color paperColorRedA400();
platform::Color paperColorRedA700();

// Pink: the 500 shade without a number.
platform::Color paperColorPink();
platform::Color paperColorPink50();
platform::Color paperColorPink100();
platform::Color paperColorPink200();
platform::Color paperColorPink300();
platform::Color paperColorPink400();
platform::Color paperColorPink500();
platform::Color paperColorPink600();
platform::Color paperColorPink700();
platform::Color paperColorPink800();
platform::Color paperColorPink900();
platform::Color paperColorPinkA100();
platform::Color paperColorPinkA200();
platform::Color paperColorPinkA400();
platform::Color paperColorPinkA700();

// Purple: the 500 shade without a number.
platform::Color paperColorPurple();
platform::Color paperColorPurple50();
platform::Color paperColorPurple100();
platform::Color paperColorPurple200();
platform::Color paperColorPurple300();
platform::Color paperColorPurple400();
platform::Color paperColorPurple500();
platform::Color paperColorPurple600();
platform::Color paperColorPurple700();
platform::Color paperColorPurple800();
platform::Color paperColorPurple900();
platform::Color paperColorPurpleA100();
platform::Color paperColorPurpleA200();
platform::Color paperColorPurpleA400();
platform::Color paperColorPurpleA700();

// DeepPurple: the 500 shade without a number.
platform::Color paperColorDeepPurple();
platform::Color paperColorDeepPurple50();
platform::Color paperColorDeepPurple100();
platform::Color paperColorDeepPurple200();
platform::Color paperColorDeepPurple300();
platform::Color paperColorDeepPurple400();
platform::Color paperColorDeepPurple500();
platform::Color paperColorDeepPurple600();
platform::Color paperColorDeepPurple700();
platform::Color paperColorDeepPurple800();
platform::Color paperColorDeepPurple900();
platform::Color paperColorDeepPurpleA100();
platform::Color paperColorDeepPurpleA200();
platform::Color paperColorDeepPurpleA400();
platform::Color paperColorDeepPurpleA700();

// Indigo: the 500 shade without a number.
platform::Color paperColorIndigo();
platform::Color paperColorIndigo50();
platform::Color paperColorIndigo100();
platform::Color paperColorIndigo200();
platform::Color paperColorIndigo300();
platform::Color paperColorIndigo400();
platform::Color paperColorIndigo500();
platform::Color paperColorIndigo600();
platform::Color paperColorIndigo700();
platform::Color paperColorIndigo800();
platform::Color paperColorIndigo900();
platform::Color paperColorIndigoA100();
platform::Color paperColorIndigoA200();
platform::Color paperColorIndigoA400();
platform::Color paperColorIndigoA700();

// Blue: the 500 shade without a number.
platform::Color paperColorBlue();
platform::Color paperColorBlue50();
platform::Color paperColorBlue100();
platform::Color paperColorBlue200();
platform::Color paperColorBlue300();
platform::Color paperColorBlue400();
platform::Color paperColorBlue500();
platform::Color paperColorBlue600();
platform::Color paperColorBlue700();
platform::Color paperColorBlue800();
platform::Color paperColorBlue900();
platform::Color paperColorBlueA100();
platform::Color paperColorBlueA200();
platform::Color paperColorBlueA400();
platform::Color paperColorBlueA700();

// LightBlue: the 500 shade without a number.
platform::Color paperColorLightBlue();
platform::Color paperColorLightBlue50();
platform::Color paperColorLightBlue100();
platform::Color paperColorLightBlue200();
platform::Color paperColorLightBlue300();
platform::Color paperColorLightBlue400();
platform::Color paperColorLightBlue500();
platform::Color paperColorLightBlue600();
platform::Color paperColorLightBlue700();
platform::Color paperColorLightBlue800();
platform::Color paperColorLightBlue900();
platform::Color paperColorLightBlueA100();
platform::Color paperColorLightBlueA200();
platform::Color paperColorLightBlueA400();
platform::Color paperColorLightBlueA700();

// Cyan: the 500 shade without a number.
platform::Color paperColorCyan();
platform::Color paperColorCyan50();
platform::Color paperColorCyan100();
platform::Color paperColorCyan200();
platform::Color paperColorCyan300();
platform::Color paperColorCyan400();
platform::Color paperColorCyan500();
platform::Color paperColorCyan600();
platform::Color paperColorCyan700();
platform::Color paperColorCyan800();
platform::Color paperColorCyan900();
platform::Color paperColorCyanA100();
platform::Color paperColorCyanA200();
platform::Color paperColorCyanA400();
platform::Color paperColorCyanA700();

// Teal: the 500 shade without a number.
platform::Color paperColorTeal();
platform::Color paperColorTeal50();
platform::Color paperColorTeal100();
platform::Color paperColorTeal200();
platform::Color paperColorTeal300();
platform::Color paperColorTeal400();
platform::Color paperColorTeal500();
platform::Color paperColorTeal600();
platform::Color paperColorTeal700();
platform::Color paperColorTeal800();
platform::Color paperColorTeal900();
platform::Color paperColorTealA100();
platform::Color paperColorTealA200();
platform::Color paperColorTealA400();
platform::Color paperColorTealA700();

// Green: the 500 shade without a number.
platform::Color paperColorGreen();
platform::Color paperColorGreen50();
platform::Color paperColorGreen100();
platform::Color paperColorGreen200();
platform::Color paperColorGreen300();
platform::Color paperColorGreen400();
platform::Color paperColorGreen500();
platform::Color paperColorGreen600();
platform::Color paperColorGreen700();
platform::Color paperColorGreen800();
platform::Color paperColorGreen900();
platform::Color paperColorGreenA100();
platform::Color paperColorGreenA200();
platform::Color paperColorGreenA400();
platform::Color paperColorGreenA700();

// LightGreen: the 500 shade without a number.
platform::Color paperColorLightGreen();
platform::Color paperColorLightGreen50();
platform::Color paperColorLightGreen100();
platform::Color paperColorLightGreen200();
platform::Color paperColorLightGreen300();
platform::Color paperColorLightGreen400();
platform::Color paperColorLightGreen500();
platform::Color paperColorLightGreen600();
platform::Color paperColorLightGreen700();
platform::Color paperColorLightGreen800();
platform::Color paperColorLightGreen900();
platform::Color paperColorLightGreenA100();
platform::Color paperColorLightGreenA200();
platform::Color paperColorLightGreenA400();
platform::Color paperColorLightGreenA700();

// Lime: the 500 shade without a number.
platform::Color paperColorLime();
platform::Color paperColorLime50();
platform::Color paperColorLime100();
platform::Color paperColorLime200();
platform::Color paperColorLime300();
platform::Color paperColorLime400();
platform::Color paperColorLime500();
platform::Color paperColorLime600();
platform::Color paperColorLime700();
platform::Color paperColorLime800();
platform::Color paperColorLime900();
platform::Color paperColorLimeA100();
platform::Color paperColorLimeA200();
platform::Color paperColorLimeA400();
platform::Color paperColorLimeA700();

// Yellow: the 500 shade without a number.
platform::Color paperColorYellow();
platform::Color paperColorYellow50();
platform::Color paperColorYellow100();
platform::Color paperColorYellow200();
platform::Color paperColorYellow300();
platform::Color paperColorYellow400();
platform::Color paperColorYellow500();
platform::Color paperColorYellow600();
platform::Color paperColorYellow700();
platform::Color paperColorYellow800();
platform::Color paperColorYellow900();
platform::Color paperColorYellowA100();
platform::Color paperColorYellowA200();
platform::Color paperColorYellowA400();
platform::Color paperColorYellowA700();

// Amber: the 500 shade without a number.
platform::Color paperColorAmber();
platform::Color paperColorAmber50();
platform::Color paperColorAmber100();
platform::Color paperColorAmber200();
platform::Color paperColorAmber300();
platform::Color paperColorAmber400();
platform::Color paperColorAmber500();
platform::Color paperColorAmber600();
platform::Color paperColorAmber700();
platform::Color paperColorAmber800();
platform::Color paperColorAmber900();
platform::Color paperColorAmberA100();
platform::Color paperColorAmberA200();
platform::Color paperColorAmberA400();
platform::Color paperColorAmberA700();

// Orange: the 500 shade without a number.
platform::Color paperColorOrange();
platform::Color paperColorOrange50();
platform::Color paperColorOrange100();
platform::Color paperColorOrange200();
platform::Color paperColorOrange300();
platform::Color paperColorOrange400();
platform::Color paperColorOrange500();
platform::Color paperColorOrange600();
platform::Color paperColorOrange700();
platform::Color paperColorOrange800();
platform::Color paperColorOrange900();
platform::Color paperColorOrangeA100();
platform::Color paperColorOrangeA200();
platform::Color paperColorOrangeA400();
platform::Color paperColorOrangeA700();

// DeepOrange: the 500 shade without a number.
platform::Color paperColorDeepOrange();
platform::Color paperColorDeepOrange50();
platform::Color paperColorDeepOrange100();
platform::Color paperColorDeepOrange200();
platform::Color paperColorDeepOrange300();
platform::Color paperColorDeepOrange400();
platform::Color paperColorDeepOrange500();
platform::Color paperColorDeepOrange600();
platform::Color paperColorDeepOrange700();
platform::Color paperColorDeepOrange800();
platform::Color paperColorDeepOrange900();
platform::Color paperColorDeepOrangeA100();
platform::Color paperColorDeepOrangeA200();
platform::Color paperColorDeepOrangeA400();
platform::Color paperColorDeepOrangeA700();

// Brown: the 500 shade without a number.
platform::Color paperColorBrown();
platform::Color paperColorBrown50();
platform::Color paperColorBrown100();
platform::Color paperColorBrown200();
platform::Color paperColorBrown300();
platform::Color paperColorBrown400();
platform::Color paperColorBrown500();
platform::Color paperColorBrown600();
platform::Color paperColorBrown700();
platform::Color paperColorBrown800();
platform::Color paperColorBrown900();

// Gray: the 500 shade without a number.
platform::Color paperColorGray();
platform::Color paperColorGray50();
platform::Color paperColorGray100();
platform::Color paperColorGray200();
platform::Color paperColorGray300();
platform::Color paperColorGray400();
platform::Color paperColorGray500();
platform::Color paperColorGray600();
platform::Color paperColorGray700();
platform::Color paperColorGray800();
platform::Color paperColorGray900();

// BlueGray: the 500 shade without a number.
platform::Color paperColorBlueGray();
platform::Color paperColorBlueGray50();
platform::Color paperColorBlueGray100();
platform::Color paperColorBlueGray200();
platform::Color paperColorBlueGray300();
platform::Color paperColorBlueGray400();
platform::Color paperColorBlueGray500();
platform::Color paperColorBlueGray600();
platform::Color paperColorBlueGray700();
platform::Color paperColorBlueGray800();
platform::Color paperColorBlueGray900();

// Texts: a white level at an alpha.
platform::Color paperColorTextDark();
platform::Color paperColorTextDarkSecondary();
platform::Color paperColorTextDarkHint();
platform::Color paperColorTextDarkDivider();
platform::Color paperColorTextLight();
platform::Color paperColorTextLightSecondary();
platform::Color paperColorTextLightHint();
platform::Color paperColorTextLightDivider();

}  // namespace UIColorCColor

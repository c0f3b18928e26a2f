// Where the controls of the converter window sit, in twips. Controls on the tab
// are measured from the tab control's own top left corner, which includes its
// row of tab captions.
#pragma once

#include "zuduradu/ui/twips.h"

namespace kv::ui {

// The window's buttons, by KVDIS_BUTTON index.
inline constexpr int kGoButton = 0;
inline constexpr int kHelpButton = 1;
inline constexpr int kCloseButton = 2;

// The two options of step 5.
inline constexpr int kAppendOption = 0;
inline constexpr int kCreateOption = 1;

// The step captions, by Label2 index, of the steps that have a row of their own.
inline constexpr int kModelCaption = 0;   // step 1
inline constexpr int kInputCaption = 1;   // step 2
inline constexpr int kTypeCaption = 2;    // step 3
inline constexpr int kOutputCaption = 3;  // step 4

}  // namespace kv::ui

namespace kv::ui::layout {

inline constexpr Twips kClient{0, 0, 6690, 5130};
inline constexpr Twips kTab{90, 60, 6450, 4500};

// By Label2 index; the captions number the steps, so index 4 is step 6 and
// index 5 is step 5. Step 3's caption stands clear of the type list below it.
inline constexpr Twips kLabel[6] = {
    {210, 510, 4725, 270}, {210, 1215, 4755, 270}, {210, 1875, 5205, 270},
    {210, 2625, 5205, 240}, {210, 4110, 5205, 240}, {210, 3300, 5205, 240},
};
// By path row: model, input, output.
inline constexpr Twips kFileText[3] = {{480, 780, 4965, 300}, {480, 1465, 4965, 300}, {480, 2850, 4965, 300}};
// The browse buttons share one left edge, and each is centred on its box.
inline constexpr Twips kOpenButton[3] = {{5544, 750, 696, 336}, {5544, 1470, 696, 336}, {5544, 2850, 696, 336}};
inline constexpr Twips kCombo{480, 2130, 5775, 315};
inline constexpr Twips kOption[2] = {{510, 3540, 5775, 195}, {510, 3780, 5775, 195}};
// By KVDIS_BUTTON index: GO, Help, Close. These sit on the window.
inline constexpr Twips kButton[3] = {{5565, 4680, 948, 372}, {3420, 4620, 948, 372}, {4485, 4680, 948, 372}};

// The label of each path row (Label2 index).
inline constexpr int kRowLabel[3] = {kModelCaption, kInputCaption, kOutputCaption};

}  // namespace kv::ui::layout

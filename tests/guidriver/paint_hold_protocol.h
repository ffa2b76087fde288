// What the GUI driver and its paint-hold hook library share: object names and the config block.
#pragma once

constexpr char kPaintHoldConfig[] = "VnxGuiDriver.PaintHold.Config";
constexpr char kPaintHoldPainted[] = "VnxGuiDriver.PaintHold.Painted";
constexpr char kPaintHoldRelease[] = "VnxGuiDriver.PaintHold.Release";

struct PaintHoldConfig {
    char className[256];
};

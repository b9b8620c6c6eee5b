#pragma once
// The label "同步间隔：      秒" reads as one line with the interval box lying over its run
// of spaces. With fonts whose spaces are narrow (most non-Chinese default GUI fonts) the
// unit "秒" would end up under the box; the label then draws the unit just after the box.
#include <windows.h>

#include <string>

namespace qf {

struct LabelParts {
    std::wstring lead;  // text before the run of spaces the box covers
    std::wstring unit;  // text after it; empty when the text has no such run
};

// Splits at the last run of two or more spaces.
LabelParts SplitAtSpaceRun(const std::wstring& text);

// Where the unit is drawn: where the text puts it, unless that is under the box.
int UnitLeft(int naturalLeft, int boxRight, int gap);

// Makes `label` (a static child) draw its unit to the right of `box`, a sibling.
void KeepUnitBesideBox(HWND label, HWND box);

}  // namespace qf

#pragma once

#include <QString>
#include <cstdint>

// Colours as 0x00BBGGRR references; two values are special.
using ColorRef = uint32_t;
constexpr ColorRef CLR_DEFAULT = 0xFF000000u; // use the system colour of the field
constexpr ColorRef CLR_NONE = 0xFFFFFFFFu;    // do not paint the area
constexpr ColorRef rgbRef(int r, int g, int b)
{
    return ColorRef(r & 0xFF) | (ColorRef(g & 0xFF) << 8) | (ColorRef(b & 0xFF) << 16);
}

class CellImageList; // the list view's image list; opaque outside widgets/

// What the task list asks its parent for every cell before drawing it.
struct CellRequest
{
    QString text;
    bool noHighlight = false;
    int imageIndex = -1;
    const CellImageList* imageList = nullptr;
    bool plainImageBack = true;
    bool centerImage = false;
    int selImageStyle = 4;
    int barMax = -1;
    int barPos = 0;
    ColorRef barColor = CLR_DEFAULT;
    ColorRef barTextColor = CLR_DEFAULT;
    int barEdge = 10;
    ColorRef textColor = CLR_DEFAULT;
    ColorRef backColor = CLR_DEFAULT;
    ColorRef hotTextColor = CLR_DEFAULT;
    ColorRef selTextColor = CLR_DEFAULT;
    ColorRef selBackColor = CLR_DEFAULT;
    ColorRef selBackColorNoFocus = CLR_DEFAULT;
    int item = 0;
    int subItem = 0;
    bool selected = false;
    bool hot = false;
};

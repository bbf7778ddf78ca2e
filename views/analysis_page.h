// The printed analysis page: the figures table and the code histogram of the block, drawn
// with the window's histogram drawing.
#pragma once

#include <QRect>

#include "analysis_model.h"

class QPainter;

// Draws the page into page (printer pixels) at dpi.
void DrawAnalysisPage(QPainter& p, const QRect& page, int dpi, const TAnalysisResult& r);

// Lists shown as a report: rows of texts under column titles, one whole row
// selected at a time.
#pragma once

#include <Qt>

class QTreeWidget;

namespace kestrune::platform_qt {

// Single selection of whole rows, no tree decoration, headers that cannot be
// clicked or moved, titles aligned as given; no columns yet.
void SetUpReportList(QTreeWidget* list, Qt::Alignment titleAlignment = Qt::AlignCenter);

}  // namespace kestrune::platform_qt

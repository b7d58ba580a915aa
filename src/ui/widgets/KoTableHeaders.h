#pragma once

class QTableView;

// What a table view's headers keep after the view's model changes. GUI thread only.
namespace KoTableHeaders {

// Deletes the selection models the headers made for the view's current model: each header takes
// the view's right after, and the unused one would stay, following the model, until the header
// goes. Call after each QTableView::setModel.
void freeUnusedSelectionModels(QTableView* view);

} // namespace KoTableHeaders

#include "ui/widgets/KoTableHeaders.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

void KoTableHeaders::freeUnusedSelectionModels(QTableView* view)
{
    for (QHeaderView* header : {view->horizontalHeader(), view->verticalHeader()}) {
        for (QItemSelectionModel* own :
             header->findChildren<QItemSelectionModel*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (own != header->selectionModel())
                delete own;
        }
    }
}

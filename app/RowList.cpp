#include "app/RowList.h"

#include <QHeaderView>
#include <QTableWidget>

namespace odomei {

void MakeRowList(QTableWidget* list) {
    list->verticalHeader()->hide();
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);
    list->setWordWrap(false);
}

}  // namespace odomei

#include "ui/qt/overview_window.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/operator_dialogs.h"
#include "ui/qt/text_codec.h"
#include "ui/qt/window_frame.h"
#include "ui/window_layout.h"

namespace vantrel::ui::qt {

using namespace layout::overview_window;

TfrmInfo::TfrmInfo(QWidget* mainWindow, OperatorDialogs& dialogs)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                              Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Overview"));
    setModal(true);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSortingEnabled(false);
    ListView1->header()->setSectionsClickable(false);
    ListView1->header()->setSectionsMovable(false);
    // Every column keeps the width AutoSizeColumns gives it; the last one must not soak up the rest.
    ListView1->header()->setStretchLastSection(false);
    QStringList headers;
    for (const char* column : app::kOverviewColumns) headers << QString::fromLatin1(column);
    ListView1->setHeaderLabels(headers);
    // Screen readers name the table as the Windows window's list is named; the window's title is not its.
    ListView1->setAccessibleName(QStringLiteral("Overview"));

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(kPanelHeight);
    Button1 = new QPushButton(QStringLiteral("OK"), panel);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(kCloseButton.left, kCloseButton.top, kCloseButton.width, kCloseButton.height);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ListView1);
    layout->addWidget(panel);
    resize(kClientWidth, kClientHeight);
}

void TfrmInfo::AddOverviewRow(const app::OverviewRow& row) {
    auto* item = new QTreeWidgetItem(ListView1);
    for (std::size_t column = 0; column < row.size(); ++column) {
        item->setText(static_cast<int>(column), FromText(row[column]));
    }
}

int TfrmInfo::Execute(const std::vector<app::OverviewRow>& rows, int ALeft, int ATop, int AHeight) {
    ListView1->clear();
    for (const app::OverviewRow& row : rows) AddOverviewRow(row);
    // The first time, this window's frame is not known yet; the main window's stands in.
    const QMargins frame = FrameMargins(*this, parentWidget());
    MoveFrameTo(*this, {ALeft, ATop});
    resize(AutoSizeColumns(*ListView1) + kWindowSlack, AHeight - frame.top() - frame.bottom());
    Button1->setFocus();
    return dialogs_.RunModal(*this);
}

int AutoSizeColumns(QTreeWidget& list) {
    QHeaderView* header = list.header();
    int sum = 0;
    for (int column = 0; column < list.columnCount(); ++column) {
        list.resizeColumnToContents(column);  // header and content, the header shown
        const int withHeader = list.columnWidth(column);
        const int contentOnly = static_cast<QAbstractItemView&>(list).sizeHintForColumn(column);
        const int width = std::max({withHeader, contentOnly, header->sectionSizeHint(column)}) + kColumnSlack;
        list.setColumnWidth(column, width);
        sum += width;
    }
    return sum;
}

}  // namespace vantrel::ui::qt

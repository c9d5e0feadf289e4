#include "TranslateUI.h"

#include "Globals.h"
#include "Translation.h"

#include <QComboBox>
#include <QMetaProperty>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>

#include <algorithm>

namespace {

struct TTable {
    int Order = 0;
    QPointer<QWidget> Root;
    std::vector<TTranslateEntry> Entries;
};

// GUI thread only, like every form.
std::vector<TTable>& Tables()
{
    static std::vector<TTable> tables;
    return tables;
}

const char* const RootCaption = "Caption";

// Words the target renderer and the printout draw; passed through Translate
// once so that missing ones are recorded before anything is drawn.
const char* const FixedWords[] = {
    "Distribution", "Miss", "Hit",   "Fatal", "Near", "Grading Summary", "Score", "Hold", "Aim", "Triggering",
    "Overall",      "Shot", "Score", "Time",  "Target cannot be printed with selected printer and paper",
};

bool TranslateProperty(QWidget* control, const char* name)
{
    const QMetaObject* meta = control->metaObject();
    const int index = meta->indexOfProperty(name);
    if (index < 0)
        return false;
    QMetaProperty property = meta->property(index);
    if (!property.isWritable() || property.metaType().id() != QMetaType::QString)
        return false;
    const QString text = property.read(control).toString();
    property.write(control, Translate(text));
    return true;
}

void TranslateWindowTitle(QWidget* root) { root->setWindowTitle(Translate(root->windowTitle())); }

void RunEntry(QWidget* root, const TTranslateEntry& entry)
{
    const bool isRoot = entry.Control == QLatin1String(RootCaption);
    if (isRoot && entry.Kind == TTranslateKind::Caption) {
        TranslateWindowTitle(root);
        return;
    }
    QWidget* control = isRoot ? root : root->findChild<QWidget*>(entry.Control);
    if (!control) {
        DebugLog(QStringLiteral("TranslateUI: no control %1 in %2").arg(entry.Control, root->objectName()));
        return;
    }
    switch (entry.Kind) {
    case TTranslateKind::Caption: TranslateCaption(control); break;
    case TTranslateKind::Hint: TranslateHint(control); break;
    case TTranslateKind::Items: TranslateItems(control); break;
    case TTranslateKind::Center: CenterInParent(control); break;
    }
}

}  // namespace

void RegisterTranslateTable(int order, QWidget* root, std::vector<TTranslateEntry> entries)
{
    if (!root)
        return;
    Tables().push_back({order, QPointer<QWidget>(root), std::move(entries)});
}

void UnregisterTranslateTables(QWidget* root)
{
    std::vector<TTable>& tables = Tables();
    tables.erase(std::remove_if(tables.begin(), tables.end(), [root](const TTable& t) { return t.Root == root; }),
                 tables.end());
}

void TranslateUI(const QStringList* newList)
{
    if (newList)
        SetTranslationList(*newList);
    for (const char* word : FixedWords)
        Translate(QLatin1String(word));

    std::vector<TTable>& tables = Tables();
    tables.erase(std::remove_if(tables.begin(), tables.end(), [](const TTable& t) { return t.Root.isNull(); }),
                 tables.end());
    std::stable_sort(tables.begin(), tables.end(), [](const TTable& a, const TTable& b) { return a.Order < b.Order; });
    // A copy: a translated text could, through a change handler, register or
    // drop tables while this runs.
    const std::vector<TTable> work = tables;
    for (const TTable& table : work)
        for (const TTranslateEntry& entry : table.Entries) {
            if (table.Root.isNull())
                break;
            RunEntry(table.Root.data(), entry);
        }
}

void TranslateCaption(QWidget* control)
{
    if (!control)
        return;
    if (TranslateProperty(control, "text") || TranslateProperty(control, "title"))
        return;
    TranslateWindowTitle(control);
}

void TranslateHint(QWidget* control)
{
    if (control)
        control->setToolTip(Translate(control->toolTip()));
}

void TranslateItems(QStringList& items)
{
    for (QString& line : items)
        line = Translate(line);
}

void TranslateItems(QWidget* control)
{
    if (!control)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(i, Translate(combo->itemText(i)));
        return;
    }
    const QVariant items = control->property("items");
    if (items.isValid() && items.metaType().id() == QMetaType::QStringList) {
        QStringList lines = items.toStringList();
        TranslateItems(lines);
        control->setProperty("items", lines);
        return;
    }
    for (QRadioButton* button : control->findChildren<QRadioButton*>())
        button->setText(Translate(button->text()));
}

void CenterInParent(QWidget* control)
{
    if (!control || !control->parentWidget())
        return;
    control->move((control->parentWidget()->width() - control->width()) / 2, control->y());
}

#include "TranslateUI.h"

#include "Globals.h"
#include "SentenceField.h"
#include "Translation.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMetaProperty>
#include <QPointer>
#include <QRadioButton>
#include <QTranslator>
#include <QWidget>

#include <algorithm>
#include <memory>

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

bool Holds(const QLayout* layout, const QWidget* control)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == control || (item->layout() && Holds(item->layout(), control)))
            return true;
    }
    return false;
}

// A translated text may need more room than the English one the control was
// placed for. Layouts size their controls themselves; a label or button
// placed by hand grows to its text as far as its parent allows, and a label
// that still does not fit wraps.
void FitText(QWidget* control)
{
    QWidget* parent = control->parentWidget();
    if (!parent || control->isWindow() || (parent->layout() && Holds(parent->layout(), control)))
        return;
    auto* label = qobject_cast<QLabel*>(control);
    if (!label && !qobject_cast<QAbstractButton*>(control))
        return;
    const int wanted = control->sizeHint().width();
    if (wanted <= control->width())
        return;
    const int room = std::max(control->width(), parent->width() - control->x());
    control->resize(std::min(wanted, room), control->height());
    if (label && wanted > label->width()) {
        label->setWordWrap(true);
        label->resize(label->width(), std::max(label->height(), label->heightForWidth(label->width())));
    }
}

void TranslateAndFit(QWidget* control)
{
    const QString before = control->property("text").toString();
    TranslateCaption(control);
    if (control->property("text").toString() != before)
        FitText(control);
}

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
    case TTranslateKind::Caption: TranslateAndFit(control); break;
    case TTranslateKind::Hint: TranslateHint(control); break;
    case TTranslateKind::Items: TranslateItems(control); break;
    case TTranslateKind::Center: CenterInParent(control); break;
    }
}

// Qt's translation for the application object that is current; it goes
// with that object.
QPointer<QTranslator>& QtTranslator()
{
    static QPointer<QTranslator> translator;
    return translator;
}

}  // namespace

void InstallQtTranslation()
{
    if (!QCoreApplication::instance())
        return;
    const QLocale locale = LocaleOfLanguageName(TranslationLanguageName());
    QPointer<QTranslator>& installed = QtTranslator();
    if (installed && installed->objectName() == locale.name())
        return;
    delete installed.data();  // takes itself out of the application
    if (locale.language() == QLocale::C || locale.language() == QLocale::English)
        return;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        DebugLog(QStringLiteral("No Qt translation for %1 in %2").arg(locale.name(), folder));
        return;
    }
    translator->setObjectName(locale.name());
    QCoreApplication::installTranslator(translator.get());
    installed = translator.release();
}

void RegisterTranslateTable(int order, QWidget* root, std::vector<TTranslateEntry> entries)
{
    if (!root)
        return;
    Tables().push_back({order, QPointer<QWidget>(root), std::move(entries)});
}

void RegisterHints(int order, QWidget* root, std::initializer_list<std::pair<const char*, const char*>> hints)
{
    if (!root)
        return;
    std::vector<TTranslateEntry> entries;
    for (const auto& [name, hint] : hints) {
        const QString control = QString::fromLatin1(name);
        QWidget* widget = root->findChild<QWidget*>(control);
        if (!widget) {
            DebugLog(QStringLiteral("Hints: no control %1 in %2").arg(control, root->objectName()));
            continue;
        }
        widget->setToolTip(QString::fromLatin1(hint));
        entries.push_back({control, TTranslateKind::Hint});
    }
    RegisterTranslateTable(order, root, std::move(entries));
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
    InstallQtTranslation();
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
    // A sentence around a field is looked up whole.
    const QString sentence = SentenceOf(control);
    if (!sentence.isNull()) {
        ShowSentence(control, Translate(sentence));
        return;
    }
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

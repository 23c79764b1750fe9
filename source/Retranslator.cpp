#include "Retranslator.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

namespace i18n {
namespace {

// tr() takes the class that calls it as context; a widget is made by its own class or by
// one of its parents (panels, the main window), free helpers use QObject's.
QStringList contextsOf(const QObject* object) {
    QStringList contexts;
    for (const QObject* o = object; o; o = o->parent()) {
        for (const QMetaObject* m = o->metaObject(); m; m = m->superClass()) {
            const QString name = QString::fromLatin1(m->className());
            if (!contexts.contains(name)) contexts << name;
        }
    }
    for (const char* extra : {"QObject", "MainWindow"})
        if (!contexts.contains(extra)) contexts << extra;
    return contexts;
}

// Reverse look-up for texts the program set while another language was active.
QHash<QString, QString>& sourceOfTranslation() {
    static QHash<QString, QString> map;
    return map;
}

QString translate(const QStringList& contexts, const QString& source) {
    const QByteArray key = source.toUtf8();
    for (const QString& context : contexts) {
        const QString t =
            QCoreApplication::translate(context.toLatin1().constData(), key.constData());
        if (t != source) {
            sourceOfTranslation().insert(t, source);
            return t;
        }
    }
    return source;
}

bool worthTranslating(const QString& text) {
    for (const QChar c : text)
        if (c.isLetter()) return true;
    return false;
}

// One text of one object under the property names "i18n.<slot>" (source) and
// "i18n.<slot>.shown" (what this walk set last).
void retranslate(QObject* object, const QStringList& contexts, const QString& slot,
                 const QString& current, const std::function<void(const QString&)>& set) {
    const QByteArray sourceKey = ("i18n." + slot).toUtf8();
    const QByteArray shownKey = sourceKey + ".shown";
    QString source = object->property(sourceKey).toString();
    const QVariant shown = object->property(shownKey);
    if (!shown.isValid() || shown.toString() != current) {
        // First visit, or the program changed the text since: it is the new source (or
        // the translation of one).
        if (!worthTranslating(current)) {
            object->setProperty(sourceKey, current);
            object->setProperty(shownKey, current);
            return;
        }
        source = sourceOfTranslation().value(current, current);
        object->setProperty(sourceKey, source);
    }
    const QString text = worthTranslating(source) ? translate(contexts, source) : source;
    object->setProperty(shownKey, text);
    if (text != current) set(text);
}

QString plainActionText(const QAction* action) {
    QString text = action->text();
    text.remove('&');
    if (text.endsWith("...")) text.chop(3);
    return text.trimmed();
}

void retranslateAction(QAction* a) {
    if (a->isSeparator()) return;
    const QStringList contexts = contextsOf(a);
    // An action without its own tool tip shows its text; only an explicit one is kept.
    const QString tipBefore = a->toolTip();
    const bool explicitTip = a->property("i18n.tip").isValid() || tipBefore != plainActionText(a);
    retranslate(a, contexts, "text", a->text(), [a](const QString& t) { a->setText(t); });
    if (explicitTip) {
        retranslate(a, contexts, "tip", tipBefore, [a](const QString& t) { a->setToolTip(t); });
    }
    if (QMenu* menu = a->menu()) {
        retranslate(menu, contextsOf(menu), "title", menu->title(),
                    [menu](const QString& t) { menu->setTitle(t); });
    }
}

void retranslateWidget(QWidget* w) {
    const QStringList contexts = contextsOf(w);
    retranslate(w, contexts, "tip", w->toolTip(), [w](const QString& t) { w->setToolTip(t); });
    if (w->isWindow()) {
        retranslate(w, contexts, "window", w->windowTitle(),
                    [w](const QString& t) { w->setWindowTitle(t); });
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        auto* toolButton = qobject_cast<QToolButton*>(w);
        if (!toolButton || !toolButton->defaultAction()) {  // action buttons follow actions
            retranslate(w, contexts, "text", button->text(),
                        [button](const QString& t) { button->setText(t); });
        }
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        retranslate(w, contexts, "text", label->text(),
                    [label](const QString& t) { label->setText(t); });
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        retranslate(w, contexts, "title", group->title(),
                    [group](const QString& t) { group->setTitle(t); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) {
            retranslate(w, contexts, QString("item%1").arg(i), combo->itemText(i),
                        [combo, i](const QString& t) { combo->setItemText(i, t); });
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        retranslate(w, contexts, "placeholder", edit->placeholderText(),
                    [edit](const QString& t) { edit->setPlaceholderText(t); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            retranslate(w, contexts, QString("tab%1").arg(i), tabs->tabText(i),
                        [tabs, i](const QString& t) { tabs->setTabText(i, t); });
        }
    } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
        QTreeWidgetItem* header = tree->headerItem();
        for (int i = 0; header && i < header->columnCount(); ++i) {
            retranslate(w, contexts, QString("header%1").arg(i), header->text(i),
                        [header, i](const QString& t) { header->setText(i, t); });
        }
    } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
        for (int i = 0; i < table->columnCount(); ++i) {
            QTableWidgetItem* item = table->horizontalHeaderItem(i);
            if (!item) continue;
            retranslate(w, contexts, QString("header%1").arg(i), item->text(),
                        [item](const QString& t) { item->setText(t); });
        }
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        retranslate(w, contexts, "title", menu->title(),
                    [menu](const QString& t) { menu->setTitle(t); });
    }
}

// Widgets of a dialog with a generated form are translated by its retranslateUi.
bool translatesItself(const QWidget* w, const QWidget* root) {
    for (const QWidget* p = w; p && p != root; p = p->parentWidget())
        if (p->property("i18n.self").toBool()) return true;
    return false;
}

}  // namespace

void retranslateTree(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (translatesItself(w, root)) continue;
        retranslateWidget(w);
    }
    for (QAction* a : root->findChildren<QAction*>()) {
        const QObject* owner = a->parent();
        if (owner && owner->isWidgetType() &&
            translatesItself(static_cast<const QWidget*>(owner), root))
            continue;
        retranslateAction(a);
    }
}

}  // namespace i18n

// Live language switch for widgets built in code: the first time a tree of widgets is
// walked, each text is remembered as its source text (the English text the program was
// written with); every later walk sets the translation of that source under the
// installed translators. Texts that the program changed in between are taken as new
// sources. Dialogs with a generated form (retranslateUi) are left to themselves.
//
// Covers the texts a user reads: action texts and explicit tool tips, button and label
// texts, group box titles, combo box rows, tree and table headers, tab texts, menu
// titles, placeholders, window titles and widget tool tips.
// Cost: one pass over the widgets and actions below `root`.
#pragma once

class QWidget;

namespace i18n {

void retranslateTree(QWidget* root);

}  // namespace i18n

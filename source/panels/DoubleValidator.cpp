#include "panels/DoubleValidator.h"

#include <QRegExp>

DoubleValidator::DoubleValidator(double lowerBound, QObject* parent)
    : QRegExpValidator(QRegExp("[-+]?[0-9]*[\\.]?[0-9]+([eE][-+]?[0-9]+)?"), parent),
      lowerBound_(lowerBound) {}

QValidator::State DoubleValidator::validate(QString& input, int& pos) const {
    input = input.trimmed();
    input.replace(',', '.');
    if (lowerBound_ >= 0.0) input.remove(QRegExp("^[-]*"));
    pos = std::min(pos, static_cast<int>(input.size()));
    return QRegExpValidator::validate(input, pos);
}

void DoubleValidator::fixup(QString& input) const {
    int pos = 0;
    validate(input, pos);
}

double DoubleValidator::value(const QString& text) {
    QString t = text.trimmed();
    t.replace(',', '.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : 0.0;
}

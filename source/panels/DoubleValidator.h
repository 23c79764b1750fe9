// Validator of the panels' number fields: an optional sign, digits with at most one
// decimal point, an optional exponent. The text is trimmed and a decimal comma read as a
// point first; with a lower bound of 0 or more, leading minus signs are dropped (-2
// becomes 2). fixup() writes that cleaned text back into the field.
#pragma once

#include <QRegExpValidator>
#include <limits>

class DoubleValidator : public QRegExpValidator {
    Q_OBJECT

  public:
    explicit DoubleValidator(double lowerBound = -std::numeric_limits<double>::max(),
                             QObject* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // The cleaned text as a number; false when it is not one.
    static bool toNumber(const QString& text, double& value);

  private:
    QString cleaned(const QString& input) const;

    double lowerBound_;
};

// Making the window's controls: each with its objectName, caption and place, as the design gives them.
#pragma once

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "config/KeyTable.h"

namespace qb::design {

// The window's controls are made for Tahoma 8 pt and MS Sans Serif. Where they are missing, narrow look-alikes
// keep the captions inside their controls; fonts that are installed are never replaced.
inline void InstallFontSubstitutes() {
    static const bool installed = [] {
        const QStringList narrow{QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                 QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), narrow);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), narrow);
        return true;
    }();
    (void)installed;
}

inline QString KeyName(const KeyInfo& key) {
    return QString(QLatin1Char(key.legend));
}

template <typename Widget>
Widget* Named(Widget* widget, const QString& name, QRect geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

inline QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = Named(new QPushButton(caption, parent), QLatin1String(name), geometry);
    button->setAutoDefault(false);
    return button;
}

inline QRadioButton* Radio(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return Named(new QRadioButton(caption, parent), QLatin1String(name), geometry);
}

inline QLabel* Label(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                     Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = Named(new QLabel(caption, parent), name, geometry);
    label->setAlignment(alignment);
    return label;
}

}  // namespace qb::design

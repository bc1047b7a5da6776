// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_form.h"

#include "ui/form_scale.h"

#include <QPixmap>

namespace pingvard {

namespace {

QLabel* CentredLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      Label1(new QLabel(tr("Orvane AP Pingvard"), this)), Bevel1(new QFrame(this)),
      Label2(CentredLabel(tr("verze 1.0"), this)),
      Label3(CentredLabel(tr("datum kompilace: 9.5.2003"), this)), Image1(new QLabel(this)),
      Label4(CentredLabel(QStringLiteral("© 2026 Pingvard developers"), this)),
      Label5(CentredLabel(QStringLiteral("pingvard@example.org"), this)),
      Label6(CentredLabel(QStringLiteral("pingvard.example.org"), this)) {
    setWindowTitle(tr("O programu"));
    setFont(FormFont());
    const TFormScale s = TFormScale::ForWidget(this);
    setFixedSize(s.Size(194, 220));

    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    s.Place(Bevel1, 7, 8, 180, 73);
    Bevel1->lower();

    QFont titleFont = BoldFormFont();
    titleFont.setPointSize(10);
    Label1->setFont(titleFont);
    s.Place(Label1, 20, 16);
    s.Place(Label2, 21, 40, 154, 13);
    s.Place(Label3, 21, 56, 154, 13);

    const QPixmap logo(QStringLiteral(":/pingvard/logo.png"));
    Image1->setPixmap(logo);
    Image1->setGeometry(s(12), s(88), logo.width(), logo.height());

    // Centred on the same axis as drawn, with room for a wider font.
    s.Place(Label4, 4, 168, 186, 13);
    s.Place(Label6, 4, 184, 186, 13);
    s.Place(Label5, 4, 200, 186, 13);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/history_form.h"

#include "net/tick_clock.h"
#include "ui/form_scale.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <chrono>
#include <tuple>

namespace pingvard {

namespace {

constexpr int64_t kHourMs = 3'600'000;
// How often a shown window reads the present again: single echoes change every
// few seconds, minutes once a minute.
constexpr int kRawRefreshMs = 10'000;
constexpr int kRefreshMs = 60'000;

QPixmap Swatch(const QColor& colour, int width, int height, bool marker = false) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    if (marker) { // the outcome's line with its marker on top
        painter.drawPolygon(QPolygonF({{0, 0}, {double(width), 0}, {width / 2.0, 6}}));
        painter.fillRect(QRectF(width / 2.0 - 0.5, 0, 1, height), colour);
    } else {
        painter.drawRect(0, height / 2 - 2, width, 4);
    }
    return pixmap;
}

// One key of the legend: a swatch and its caption.
void AddKey(QHBoxLayout* row, const QPixmap& swatch, const QString& caption) {
    auto* image = new QLabel;
    image->setPixmap(swatch);
    row->addWidget(image);
    row->addWidget(new QLabel(caption));
    row->addSpacing(6);
}

// Three rows, so that the window fits a small screen.
QWidget* Legend() {
    auto* legend = new QWidget;
    auto* rows = new QVBoxLayout(legend);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto* loss = new QHBoxLayout;
    loss->setSpacing(3);
    loss->addWidget(new QLabel(THistoryForm::tr("Medián, barva podle ztráty:")));
    const QString classes[kLossClasses] = {THistoryForm::tr("0 %"),    THistoryForm::tr("< 2 %"),
                                           THistoryForm::tr("< 5 %"),  THistoryForm::tr("< 10 %"),
                                           THistoryForm::tr("< 25 %"), THistoryForm::tr("< 100 %"),
                                           THistoryForm::tr("100 %")};
    for (int i = 0; i < kLossClasses; ++i) {
        AddKey(loss, Swatch(LossColour(i), 14, 10), classes[i]);
    }
    loss->addStretch();
    auto* spread = new QHBoxLayout;
    spread->setSpacing(3);
    // Each band as it shows: over the ones outside it.
    const QString bands[] = {THistoryForm::tr("rozptyl min–max"),
                             THistoryForm::tr("10.–90. percentil"),
                             THistoryForm::tr("25.–75. percentil")};
    for (int b = 0; b < 3; ++b) {
        QPixmap band(14, 10);
        band.fill(Qt::transparent);
        QPainter painter(&band);
        for (int under = 0; under <= b; ++under) {
            painter.fillRect(band.rect(), BandColour(under));
        }
        painter.end();
        AddKey(spread, band, bands[b]);
    }
    spread->addStretch();
    auto* marks = new QHBoxLayout;
    marks->setSpacing(3);
    QPixmap outage(14, 10);
    outage.fill(OutageColour());
    AddKey(marks, outage, THistoryForm::tr("výpadek, vše ztraceno"));
    QPixmap clip(9, 10);
    clip.fill(Qt::transparent);
    {
        QPainter painter(&clip);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ClipColour());
        painter.drawPolygon(QPolygonF({{4.5, 1}, {1, 8}, {8, 8}}));
    }
    AddKey(marks, clip, THistoryForm::tr("nad osou"));
    AddKey(marks, Swatch(OutcomeColour(true), 9, 12, true), THistoryForm::tr("obnova proběhla"));
    AddKey(marks, Swatch(OutcomeColour(false), 9, 12, true), THistoryForm::tr("obnova selhala"));
    marks->addStretch();
    rows->addLayout(loss);
    rows->addLayout(spread);
    rows->addLayout(marks);
    return legend;
}

} // namespace

int64_t RangeMs(THistoryRange range) noexcept {
    switch (range) {
    case THistoryRange::Hour:
        return kHourMs;
    case THistoryRange::Day:
        return 24 * kHourMs;
    case THistoryRange::Week:
        return 7 * 24 * kHourMs;
    case THistoryRange::Quarter:
        return 90 * 24 * kHourMs;
    }
    return 24 * kHourMs;
}

THistoryForm::THistoryForm(THistoryWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window), m_options(std::move(options)), m_range(m_options.Range),
      m_status(new QLabel(this)), m_scroll(new QScrollArea(this)), m_graphArea(new QWidget),
      m_graphLayout(new QVBoxLayout(m_graphArea)),
      m_incidents(new TIncidentPanel(m_options.HistoryFile, this)) {
    m_opened.start();
    setWindowTitle(tr("Historie"));
    setFont(FormFont());
    const TFormScale s = TFormScale::ForWidget(this);
    resize(s.Size(720, 660));

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Rozsah:"), this));
    auto* group = new QButtonGroup(this);
    const QString captions[4] = {tr("1 hodina"), tr("24 hodin"), tr("7 dní"), tr("90 dní")};
    for (std::size_t i = 0; i < m_rangeButtons.size(); ++i) {
        auto* button = new QPushButton(captions[i], this);
        button->setCheckable(true);
        group->addButton(button, static_cast<int>(i));
        bar->addWidget(button);
        m_rangeButtons[i] = button;
    }
    RangeButton(m_range)->setChecked(true);
    connect(group, &QButtonGroup::idClicked, this,
            [this](int id) { ShowRange(static_cast<THistoryRange>(id)); });
    bar->addStretch();
    bar->addWidget(m_status);
    layout->addLayout(bar);

    m_graphLayout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_graphArea);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(Legend());
    layout->addWidget(m_incidents);
    connect(m_incidents, &TIncidentPanel::IncidentChosen, this, &THistoryForm::ShowTime);

    m_refresh.setInterval(m_range == THistoryRange::Hour ? kRawRefreshMs : kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &THistoryForm::Reload);
    BuildGraphs(m_options.Hosts);

    m_loader = std::make_unique<THistoryLoader>(m_options.HistoryFile, [this](THistoryLoad load) {
        auto shared = std::make_shared<THistoryLoad>(std::move(load));
        QMetaObject::invokeMethod(
            this, [this, shared] { Show(*shared); }, Qt::QueuedConnection);
    });
    // Read while the window is being laid out and shown.
    Reload();
}

THistoryForm::~THistoryForm() {
    m_loader.reset(); // no result arrives once the graphs start to go
}

int64_t THistoryForm::Now() const {
    if (m_options.NowMs) {
        return m_options.NowMs();
    }
    return WallClockMs();
}

void THistoryForm::BuildGraphs(const std::vector<THistoryHost>& hosts) {
    for (THistoryGraph* graph : m_graphs) {
        delete graph;
    }
    m_graphs.clear();
    m_awaitingPaint.clear();
    for (const THistoryHost& host : hosts) {
        auto* graph = new THistoryGraph(m_graphArea);
        graph->SetHost(host);
        graph->SetMessage(tr("Načítání…"));
        graph->OnDataPainted = [this, graph] { GraphPainted(graph); };
        m_graphLayout->addWidget(graph);
        m_graphs.push_back(graph);
    }
    if (!m_options.FocusHost.empty()) {
        FocusHost(m_options.FocusHost);
    }
}

void THistoryForm::SetHosts(std::vector<THistoryHost> hosts) {
    const bool same =
        std::equal(hosts.begin(), hosts.end(), m_options.Hosts.begin(), m_options.Hosts.end(),
                   [](const THistoryHost& a, const THistoryHost& b) {
                       return a.Address == b.Address && a.Name == b.Name;
                   });
    if (same) {
        return;
    }
    m_options.Hosts = std::move(hosts);
    BuildGraphs(m_options.Hosts);
    Reload();
}

void THistoryForm::FocusHost(const std::string& address) {
    m_options.FocusHost = address;
    for (THistoryGraph* graph : m_graphs) {
        if (graph->Host().Address == address) {
            graph->setFocus(Qt::OtherFocusReason);
            m_scroll->ensureWidgetVisible(graph);
            return;
        }
    }
}

void THistoryForm::ShowRange(THistoryRange range) {
    m_shownTime.reset();
    m_range = range;
    RangeButton(range)->setChecked(true);
    m_refresh.setInterval(range == THistoryRange::Hour ? kRawRefreshMs : kRefreshMs);
    Reload();
}

void THistoryForm::Reload() {
    THistoryRequest request;
    request.Generation = ++m_generation;
    request.NowMs = Now();
    request.FromMs = request.NowMs - RangeMs(m_range);
    request.ToMs = request.NowMs + 1; // the present's echo too
    request.Hosts = m_options.Hosts;
    if (m_shownTime) {
        std::tie(request.FromMs, request.ToMs) = *m_shownTime;
    }
    m_incidents->Reload(request.NowMs);
    m_status->setText(tr("Načítání…"));
    m_loader->Request(std::move(request));
}

void THistoryForm::ShowTime(int64_t fromMs, int64_t toMs) {
    m_shownTime = {fromMs, std::max(toMs, fromMs + 1)};
    // No range button stands for this stretch; a click on any brings one back.
    QButtonGroup* group = RangeButton(m_range)->group();
    group->setExclusive(false);
    RangeButton(m_range)->setChecked(false);
    group->setExclusive(true);
    Reload();
}

void THistoryForm::Show(THistoryLoad& load) {
    if (load.Generation != m_generation) {
        return; // a newer range or refresh is on its way
    }
    m_lastReadUs = load.ReadUs;
    if (m_options.Hosts.empty() && load.Error.empty()) {
        const bool same =
            std::equal(load.Hosts.begin(), load.Hosts.end(), m_graphs.begin(), m_graphs.end(),
                       [](const THistoryHost& h, const THistoryGraph* g) {
                           return h.Address == g->Host().Address;
                       });
        if (!same) {
            BuildGraphs(load.Hosts);
        }
    }
    const bool first = !m_openReported && m_awaitingPaint.empty();
    for (std::size_t i = 0; i < m_graphs.size(); ++i) {
        THistoryGraph* graph = m_graphs[i];
        std::vector<THistoryPoint> points;
        if (i < load.Points.size()) {
            points = std::move(load.Points[i]);
        }
        graph->SetData(load.FromMs, load.ToMs, load.Resolution, std::move(points), load.Events);
        graph->SetMessage(
            load.Error.empty()
                ? QString()
                : tr("Historie není k dispozici: %1").arg(QString::fromStdString(load.Error)));
        if (first && !graph->Points().empty() && !graph->visibleRegion().isEmpty()) {
            m_awaitingPaint.push_back(graph);
        }
    }
    static const char* const kResolutions[] = {
        QT_TR_NOOP("jednotlivé ozvěny"), QT_TR_NOOP("po minutách"), QT_TR_NOOP("po hodinách")};
    m_status->setText(load.Error.empty() ? tr(kResolutions[static_cast<int>(load.Resolution)])
                                         : QString());
    if (first && m_awaitingPaint.empty()) {
        m_openReported = true;
        emit FirstCompletePaint(m_opened.elapsed());
    }
    emit Loaded();
}

void THistoryForm::GraphPainted(THistoryGraph* graph) {
    if (m_openReported) {
        return;
    }
    std::erase(m_awaitingPaint, graph);
    if (m_awaitingPaint.empty()) {
        m_openReported = true;
        emit FirstCompletePaint(m_opened.elapsed());
    }
}

void THistoryForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_refresh.isActive()) {
        if (m_shownBefore) {
            Reload(); // shown again: up to the present
        }
        m_shownBefore = true;
        m_refresh.start();
    }
}

void THistoryForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_refresh.stop();
}

THistoryForm* OpenHistoryWindow(QWidget* parent, THistoryWindowOptions options) {
    THistoryForm* form =
        parent ? parent->findChild<THistoryForm*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (form == nullptr) {
        form = new THistoryForm(std::move(options), parent);
        form->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        if (!options.Hosts.empty()) {
            form->SetHosts(std::move(options.Hosts));
        }
        if (!options.FocusHost.empty()) {
            form->FocusHost(options.FocusHost);
        }
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

} // namespace pingvard

#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <vector>

// The "Graph" window, and the holder of the measured rotation that the graph
// and the result file show.
class TGraf : public QDialog {
    Q_OBJECT
public:
    explicit TGraf(QWidget* parent = nullptr);

    std::array<std::uint16_t, 360> AngleHistogram{};
    std::vector<std::uint16_t> AngleSeries;
    std::vector<std::int32_t> UnwrappedSeries;
    bool ResultsValid = false;

    // Finds the hand's direction in every frame and the turned angle since
    // the first frame.
    void MeasureRotation();
    // Replaces the graph's points by the current series.
    void FillChart();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TGraf* Graf;

#pragma once
// The grid's drop-down month calendar for date items, shown below the value
// cell (above it when there is no room). Clicking or activating a day hands
// the date to the grid (DateChosen); Escape or the focus leaving the calendar
// ends it without one (Cancelled).
#include <QCalendarWidget>
#include <QDate>

namespace vq {

class CPropertyGridMonthCalCtrl : public QCalendarWidget {
  Q_OBJECT

 public:
  CPropertyGridMonthCalCtrl(QWidget* grid, const QRect& cell, const QDate& date);

 signals:
  void DateChosen(const QDate& date);
  void Cancelled();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Choose(const QDate& date);
  void Cancel();
  void OnFocusChanged(QWidget* old, QWidget* now);

  bool _ended = false;
};

}  // namespace vq

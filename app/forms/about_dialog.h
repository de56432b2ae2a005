#pragma once
#include <QDialog>
#include <cstdint>

class QLabel;

// The About box: version, the count of textures generated so far, and a link
// to the project's README.
class AboutDialog : public QDialog {
  Q_OBJECT
public:
  AboutDialog(QWidget* owner, uint32_t generatedCount);
  QLabel* CountLabel;
  QLabel* LinkLabel;
};

// Where the About box's link points: the installed README, else the one in
// the source tree the program was built from.
QString ReadmeUrl();

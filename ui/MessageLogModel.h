#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <deque>

namespace pg {

// The lines of the message window, oldest first, each with the severity read from its text;
// the oldest go when more than kMaxLines would be kept. Errors are drawn red, warnings amber.
class MessageLogModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum class Severity { Info = 0, Warning = 1, Error = 2 };
    static constexpr int kSeverityRole = Qt::UserRole + 1;
    static constexpr int kMaxLines = 10000;

    using QAbstractListModel::QAbstractListModel;

    // What a line reports, from its words: failures and refusals are errors; retries,
    // time-outs, pauses and discarded data are warnings; everything else is information.
    static Severity SeverityOf(const QString& line);

    // Appends the lines in order, dropping the oldest beyond kMaxLines first.
    void Append(const QStringList& lines);
    void Clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    struct Line {
        QString text;
        Severity severity;
    };
    std::deque<Line> lines_;
};

}  // namespace pg

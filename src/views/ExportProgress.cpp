// Export progress at most once per whole percent.
#include "views/ExportProgress.h"

void ExportProgress::rowDone(qsizetype row)
{
    if (!m_report || m_rowCount <= 0)
        return;
    const qint64 percent = qint64(row) * 100 / qint64(m_rowCount);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    m_report(static_cast<float>(row) / static_cast<float>(m_rowCount));
}

void ExportProgress::finish()
{
    if (m_report)
        m_report(0.0f);
}

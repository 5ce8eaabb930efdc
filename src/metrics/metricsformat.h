#pragma once

#include "metricsstore.h"

#include <QByteArray>
#include <QList>

// The text a Prometheus server scrapes: its classic text format (0.0.4) or OpenMetrics 1.0.0.
namespace MetricsFormat {

enum class Format { Prometheus, OpenMetrics };

// OpenMetrics when the scraper's Accept header names it, else the classic text format.
Format negotiate(const QByteArray &accept);
QByteArray contentType(Format format);

// A label value with backslash, double quote and line feed escaped.
QByteArray escapeLabel(const QString &value);

QByteArray render(const QList<MetricsStore::Series> &series, const QString &version, Format format);

} // namespace MetricsFormat

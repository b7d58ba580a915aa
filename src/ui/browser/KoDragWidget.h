#pragma once

#include <QWidget>

// The Qt-side anchor of a drag out to the desktop: the native layer is handed this widget and
// reports through notifyPath where the files were dropped ("none path" on a plain release).
// Created by each file view as its child; never shown.
class KoDragWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoDragWidget(QWidget* parent = nullptr);

signals:
    void notifyPath(const char* path);
};

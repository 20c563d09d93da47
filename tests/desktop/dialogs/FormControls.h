// Test helpers: find a form's controls by name and type into them.
#pragma once

#include <QLineEdit>
#include <QtTest>

template <typename T>
T* Child(QWidget* form, const char* name)
{
    T* child = form->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control %s", name);
    return child;
}

// Writes the text into the named edit box and commits it with Enter.
inline void TypeAndEnter(QWidget* form, const char* editName, const QString& text)
{
    auto* edit = Child<QLineEdit>(form, editName);
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

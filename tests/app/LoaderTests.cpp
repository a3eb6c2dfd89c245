// The busy indicator: centring with halves to even, following the main window, its shape.
#include <QApplication>
#include <QBitmap>
#include <QElapsedTimer>
#include <QLabel>
#include <QMovie>
#include <QTimer>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/Main.h"
#include "app/fLoading.h"

TEST(Loader, CentreRoundsHalvesToEven)
{
    struct
    {
        QRect window;
        QSize own;
        QPoint expected;
    } const cases[] = {
        {QRect(0, 0, 100, 100), QSize(31, 31), QPoint(34, 34)},         // 34.5 -> 34
        {QRect(1, 1, 100, 100), QSize(31, 31), QPoint(36, 36)},         // 35.5 -> 36
        {QRect(10, 20, 396, 144), QSize(31, 31), QPoint(192, 76)},      // 192.5 -> 192, 76.5 -> 76
        {QRect(10, 20, 397, 145), QSize(31, 31), QPoint(193, 77)},      // exact
        {QRect(-101, -107, 100, 100), QSize(31, 31), QPoint(-66, -72)}, // -66.5 -> -66, -72.5 -> -72
        {QRect(0, 0, 31, 31), QSize(31, 31), QPoint(0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TfrmLoader::CentreOver(c.window, c.own), c.expected)
            << c.window.x() << "," << c.window.width();
}

TEST(Loader, FollowsTheMainWindowWithinATick)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TfrmLoader* loader = f.loader.get();
    EXPECT_EQ(loader->Timer1->interval(), 10);
    EXPECT_TRUE(loader->Timer1->isActive());
    EXPECT_EQ(loader->size(), QSize(31, 31));
    EXPECT_TRUE(loader->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(loader->windowFlags() & Qt::WindowStaysOnTopHint);

    loader->show();
    // Placed over the centre as soon as it shows, before any tick.
    EXPECT_EQ(loader->pos(), TfrmLoader::CentreOver(f.form->frameGeometry(), loader->size()));
    f.form->move(f.form->pos() + QPoint(37, 23));
    QElapsedTimer moved;
    moved.start();
    const QPoint target = TfrmLoader::CentreOver(f.form->frameGeometry(), loader->size());
    ASSERT_TRUE(WaitFor([&] { return loader->pos() == target; }, 1000));
    // A tick is 10 ms; allow for a loaded machine, not for a missing timer.
    EXPECT_LT(moved.elapsed(), 500);
    loader->hide();
}

TEST(Loader, AnimatesAndCutsItsShapeFromTheFrame)
{
    AppModules modules;
    modules.Start();
    ShownForm f = MakeForm();
    TfrmLoader* loader = f.loader.get();
    QMovie* movie = loader->Movie();
    ASSERT_TRUE(movie->isValid());
    EXPECT_EQ(movie->frameRect().size(), QSize(31, 31));
    EXPECT_GT(movie->frameCount(), 1);
    EXPECT_EQ(movie->state(), QMovie::Running);
    loader->show();
    const int first = movie->currentFrameNumber();
    ASSERT_TRUE(WaitFor([&] { return movie->currentFrameNumber() != first; }, 2000));
    // Only the dots are part of the window.
    const QRegion shape = loader->mask();
    EXPECT_FALSE(shape.isEmpty());
    EXPECT_FALSE(shape.contains(QPoint(15, 15)));
    EXPECT_LT(shape.rectCount(), 31 * 31);
    loader->hide();
}

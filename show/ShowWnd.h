// The animation window. Full-screen, it prepares the show while it is being
// created (picture to screen, screen to capture file, capture to two
// screen-sized images, the scene with its flat water over them, music) and
// then runs the scene from its 60 ms timer, with its tune and a paint of
// every step (of what the steps changed, or of the whole image where the
// screen may have lost it), resting (no tick, tune paused) and waking
// again. As the preview child it has no scene and paints a black area tiled
// with a small bitmap.
#pragma once

#include <memory>

#include "framework/AfxWin.h"
#include "image/DibImage.h"
#include "image/ScreenCapture.h"
#include "music/MidiPlayer.h"
#include "show/ShowCycle.h"
#include "show/WaterShow.h"

class CShowApp;

class CShowWnd : public CWnd {
public:
    explicit CShowWnd(BOOL autoDelete);
    // The tune goes through `mci` instead of the system's multimedia library.
    CShowWnd(BOOL autoDelete, CMciSeam& mci);
    ~CShowWnd() override;

    virtual BOOL Create(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent);

    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerPeriod = CShowCycle::kTickMs;

protected:
    int OnCreate(LPCREATESTRUCT create);
    void OnTimer(UINT_PTR id);
    void OnPaint();
    void OnSize(UINT type, int cx, int cy);
    void PostNcDestroy() override;

    void DrawTiledBitmap(CDC* dc);

    // Stops the timer and pauses the tune; the cycle stays at its tick.
    // Nothing happens when the show rests already.
    void Rest();
    // Starts the timer again and plays the tune on from where it paused;
    // nothing happens unless the show rests.
    void Wake();
    bool IsResting() const { return m_bResting; }
    // The next step paints the whole display image, not only what changed:
    // something other than the steps may have changed the screen.
    void PaintWholeNext() { m_bPaintWhole = true; }

    // The picture round trip, run before the full-screen window exists.
    void PreparePicture();
    void DrawPictureFile(const CString& path);
    void MakeTempFileName(CString& name);
    // Reads the whole screen into `capture` as the capture file holds it.
    BOOL CaptureScreen(CScreenCapture& capture);
    // Captures the screen into `capture` and writes it to path; TRUE only
    // when the whole file was written.
    BOOL SaveScreenToFile(const CString& path, CScreenCapture& capture);
    BOOL LoadPictureBitmap(LPCSTR path);
    // The picture from a capture held in memory, exactly as LoadPictureBitmap
    // makes it from the same capture in a file.
    BOOL LoadPictureFromCapture(const CScreenCapture& capture);
    HBITMAP FlipBitmap(HBITMAP source);

    DECLARE_MESSAGE_MAP()

    CMidiPlayer m_music;
    CString m_strMusicPath;
    CShowApp* m_pApp = nullptr;
    bool m_bPreview = false;
    CBitmap m_bmPicture;
    CString m_strWindowsDir;
    CString m_strTempDir;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    CDibImage m_dibSource;
    CDibImage m_dibDisplay;
    // The scene over m_dibSource's pixels into m_dibDisplay's: the engine
    // (Engine()), the current mode and the tick within the cycle (Cycle());
    // none in the preview.
    std::unique_ptr<CWaterShow> m_pScene;
    CString m_strPicturePath;
    BOOL m_bAutoDelete;

private:
    bool m_bResting = false;
    // Until the first step is painted, the screen shows anything.
    bool m_bPaintWhole = true;

    bool PrepareShow();
};

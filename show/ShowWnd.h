// The animation window. Full-screen, it prepares the show while it is being
// created (picture to screen, screen to capture file, capture to two
// screen-sized images, flat water, music) and then runs the show from its
// 60 ms timer. As the preview child it paints a black area tiled with a
// small bitmap.
#pragma once

#include "framework/AfxWin.h"
#include "image/DibImage.h"
#include "music/MidiPlayer.h"
#include "ripple/EffectEngine.h"
#include "show/ShowCycle.h"

class CShowApp;

class CShowWnd : public CWnd {
public:
    explicit CShowWnd(BOOL autoDelete);
    ~CShowWnd() override;

    virtual BOOL Create(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent);

    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerPeriod = 60;

protected:
    int OnCreate(LPCREATESTRUCT create);
    void OnTimer(UINT_PTR id);
    void OnPaint();
    void OnSize(UINT type, int cx, int cy);
    void PostNcDestroy() override;

    void DrawTiledBitmap(CDC* dc);

    // The picture round trip, run before the full-screen window exists.
    void PreparePicture();
    void DrawPictureFile(const CString& path);
    void MakeTempFileName(CString& name);
    void SaveScreenToFile(const CString& path);
    BOOL LoadPictureBitmap(LPCSTR path);
    HBITMAP FlipBitmap(HBITMAP source);

    DECLARE_MESSAGE_MAP()

    CMidiPlayer m_music;
    CString m_strMusicPath;
    CShowApp* m_pApp = nullptr;
    CShowCycle m_cycle;  // the current mode and the tick within the cycle
    bool m_bPreview = false;
    CBitmap m_bmPicture;
    CString m_strWindowsDir;
    CString m_strTempDir;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    CDibImage m_dibSource;
    CDibImage m_dibDisplay;
    CEffectEngine m_effect;
    CString m_strPicturePath;
    BOOL m_bAutoDelete;

private:
    class TickStage;
    bool PrepareShow();
};

package vedalia.demo.ui;

import flash.text.Font;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

// The course font is embedded (Latin, Cyrillic and the usual punctuation), so the menu looks
// the same whatever fonts the pupil's machine has.
@:font("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", " -~А-яЁё№«»—–…·•✓⚠▲▼")
class CourseFont extends Font {}

// Colours, type sizes and the few text helpers every screen uses.
class Theme {
	public static inline var STAGE = 0xF9F0F1; // the shell paints this colour round the stage
	public static inline var HEADER = 0x2F5D6B;
	public static inline var ACCENT = 0x3D8A8F;
	public static inline var ACCENT_DARK = 0x2B6A6E;
	public static inline var ACCENT_LIGHT = 0xD9ECEA;
	public static inline var PANEL = 0xFFFFFF;
	public static inline var LINE = 0xC9D3D6;
	public static inline var TEXT = 0x22313A;
	public static inline var MUTED = 0x6A7A82;
	public static inline var WHITE = 0xFFFFFF;
	public static inline var DISABLED = 0xB9C3C6;
	public static inline var WARN = 0xB04A3A;

	static var fontName:String;

	// Haxe's start-up pins the stage to the top-left corner; the shell shows the whole stage
	// scaled and centred in its window, as a movie's default alignment does.
	public static function centreStage() {
		var stage = flash.Lib.current.stage;
		if (stage != null)
			stage.align = cast "";
	}

	public static function font():String {
		if (fontName == null) {
			Font.registerFont(CourseFont);
			fontName = new CourseFont().fontName;
		}
		return fontName;
	}

	public static function format(size:Int, color:Int, ?align:TextFormatAlign):TextFormat {
		var f = new TextFormat(font(), size, color);
		if (align != null)
			f.align = align;
		return f;
	}

	// A read-only text: one line sized to its text, or wrapped to `width` when given.
	public static function label(text:String, size:Int, color:Int, width:Float = 0):TextField {
		var t = new TextField();
		t.embedFonts = true;
		t.selectable = false;
		t.mouseEnabled = false;
		t.defaultTextFormat = format(size, color);
		if (width > 0) {
			t.width = width;
			t.wordWrap = true;
			t.multiline = true;
		}
		t.autoSize = TextFieldAutoSize.LEFT;
		t.text = text;
		return t;
	}
}

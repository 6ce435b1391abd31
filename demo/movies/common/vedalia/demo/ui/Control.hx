package vedalia.demo.ui;

import flash.display.Sprite;

// A named control: the name lets a test (or the shell's GetVariable) find it on the stage.
class Control extends Sprite {
	public var id(default, null):String;
	public var w(default, null):Float;
	public var h(default, null):Float;

	public function new(id:String, w:Float, h:Float) {
		super();
		this.id = id;
		this.w = w;
		this.h = h;
	}

	// "x,y,w,h" in stage pixels, or "" while the control is not on the visible stage.
	public function stageRect():String {
		var p:flash.display.DisplayObject = this;
		while (p != null) {
			if (!p.visible)
				return "";
			p = p.parent;
		}
		if (stage == null)
			return "";
		// The control's own box, not its drawn bounds (hidden children count in those).
		var o = localToGlobal(new flash.geom.Point(0, 0));
		return Math.round(o.x) + "," + Math.round(o.y) + "," + Math.round(w) + "," + Math.round(h);
	}
}

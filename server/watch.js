// The watch page: draws a listed game frame by frame with the game's own
// pictures. Where everything stands comes from the server, worked out by the
// game's board; nothing here plays a rule.
"use strict";

(() => {
    const FieldWidth = 240;
    const FieldHeight = 265;
    const WaterY = 40;
    const WaterFrames = 8;
    const DestroyerY = 10;
    const IconY = 3;
    const IconGap = 3;
    const ScoreX = 3;
    const ScoreBaseline = 12;
    const TicksPerSecond = 50;
    const Chunk = 3000;

    const game = JSON.parse(document.getElementById("game").textContent);
    const asked = new URLSearchParams(location.search);
    const whole = (name, allowed, fallback) => {
        const n = Number(asked.get(name));
        return allowed.includes(n) ? n : fallback;
    };
    const scale = whole("scale", [1, 2, 4], 2);
    const speed = whole("speed", [1, 2, 4], 1);
    // A single frame, alone on the page: ?still=N.
    const still = asked.has("still") ? Math.max(0, Math.floor(Number(asked.get("still"))) || 0) : -1;

    const canvas = document.getElementById("field");
    const scoreShown = document.getElementById("score");
    const state = document.getElementById("state");
    canvas.width = FieldWidth * scale;
    canvas.height = FieldHeight * scale;
    if (still >= 0) {
        document.body.replaceChildren(canvas);
        document.body.style.margin = "0";
    }
    canvas.style.display = "block";
    const paint = canvas.getContext("2d");
    paint.imageSmoothingEnabled = false;
    paint.setTransform(scale, 0, 0, scale, 0, 0);

    const say = (what, text) => {
        state.dataset.state = what;
        state.textContent = text;
    };

    // Those the rules read at the sizes the game was played with, drawn to
    // them by the server as the game draws them; none of no size.
    const picture = (name) => new Promise((resolve, reject) => {
        const size = game.sizes[name];
        if (size && size[0] * size[1] === 0) {
            resolve(null);
            return;
        }
        const image = new Image();
        image.onload = () => resolve(image);
        image.onerror = () => reject(new Error("the picture " + name + " did not load"));
        image.src = "/pics/" + name + ".png" + (size ? "?size=" + size[0] + "x" + size[1] : "");
    });

    // Frames as they arrive, by number; the last one once known.
    const frames = [];
    let lastFrame = -1;
    let fetching = null;
    const fetchFrom = (from) => {
        if (fetching || lastFrame >= 0)
            return fetching;
        fetching = fetch("/api/v1/recordings/" + game.id + "/frames?from=" + from + "&count=" + Chunk)
            .then((answer) => {
                if (!answer.ok)
                    throw new Error("the server answered " + answer.status);
                return answer.json();
            })
            .then((chunk) => {
                chunk.frames.forEach((frame, i) => { frames[chunk.from + i] = frame; });
                if (chunk.last)
                    lastFrame = chunk.from + chunk.frames.length - 1;
                fetching = null;
            });
        return fetching;
    };

    const draw = (pics, frame) => {
        const [water, destroyerX, score, lives, bombsToHand, subs, bombs] = frame;
        // Sky and water cover the field; black wherever they fall short.
        paint.fillStyle = "#000";
        paint.fillRect(0, 0, FieldWidth, FieldHeight);
        paint.drawImage(pics.sky, 0, 0);
        paint.drawImage(pics.water[water], 0, WaterY);
        const sprite = (image, x, y) => {
            if (image)
                paint.drawImage(image, x, y);
        };
        sprite(pics.destroyer, destroyerX, DestroyerY);
        paint.fillStyle = "#000";
        paint.font = game.fontPixels + "px \"" + game.fontFamily + "\", sans-serif";
        paint.fillText("Score: " + score, ScoreX, ScoreBaseline);
        // The lives left, centred; the bombs still to hand, from the right.
        const icons = (x, count, image, width) => {
            for (let i = 0; i < count; ++i)
                sprite(image, x + i * (width + IconGap), IconY);
        };
        const lifeWidth = pics.lives ? pics.lives.width : 0;
        icons(FieldWidth / 2 - Math.trunc(lives * (lifeWidth + IconGap) / 2), lives, pics.lives, lifeWidth);
        for (let i = 0; i < subs.length; i += 2)
            sprite(pics.sub, subs[i], subs[i + 1]);
        for (let i = 0; i < bombs.length; i += 2)
            sprite(pics.bomb, bombs[i], bombs[i + 1]);
        const bombWidth = game.sizes.bomb[0];
        icons(FieldWidth - bombsToHand * (bombWidth + IconGap), bombsToHand, pics.bomb, bombWidth);
        scoreShown.value = score;
    };

    const names = ["sky", "destroyer", "lives", "sub", "bomb"];
    for (let i = 1; i <= WaterFrames; ++i)
        names.push("water" + i);
    Promise.all(names.map(picture)).then((loaded) => {
        const pics = Object.fromEntries(names.map((name, i) => [name, loaded[i]]));
        pics.water = names.filter((name) => name.startsWith("water")).map((name) => pics[name]);
        return fetchFrom(still >= 0 ? still : 0).then(() => pics);
    }).then((pics) => {
        if (still >= 0) {
            if (frames[still] === undefined)
                throw new Error("the game has no frame " + still);
            draw(pics, frames[still]);
            say("still", "Frame " + still);
            return;
        }
        // Paced by the clock, as the game's tick is: frames are skipped
        // rather than the game slowed when the page falls behind.
        const started = performance.now();
        let shown = -1;
        const step = () => {
            const due = Math.floor((performance.now() - started) * TicksPerSecond * speed / 1000);
            let at = lastFrame >= 0 ? Math.min(due, lastFrame) : due;
            while (at > shown && frames[at] === undefined)
                --at;
            if (at > shown) {
                draw(pics, frames[at]);
                shown = at;
            }
            if (lastFrame < 0 && frames.length - shown < Chunk / 2)
                fetchFrom(frames.length)?.catch(fail);
            if (shown === lastFrame) {
                say("over", "· game over");
                return;
            }
            say("playing", "· playing at " + speed + "x");
            setTimeout(step, 1000 / TicksPerSecond / speed);
        };
        step();
    }).catch(fail);

    function fail(error) {
        say("failed", "Cannot show this game: " + error.message);
    }
})();

"""The benchmark's trees: an office share made from a seed, and the edits of a "1 % changed" run.

Everything here is deterministic: the same seed, file count and size give the same names,
folders, sizes and bytes on every machine, so figures taken on different days compare.
"""

import json
import math
import os
import random

MIB = 1024 * 1024
SMALLEST = 1024
LARGEST_SMALL = 4 * MIB
POOL_SIZE = 32 * MIB  # random bytes that every file's content is cut from
LARGE_SHARES = (0.15, 0.25, 0.60)  # of the large files' part of the tree
VERSION = 3  # of the way trees are made; a tree made otherwise is made again

FOLDER_WORDS = ["Finance", "HR", "Projects", "Archive", "Sales", "Contracts", "Reports", "Minutes",
                "Scans", "Templates", "2021", "2022", "2023", "Q1", "Q2", "Q3", "Q4", "Clients",
                "财务", "人事", "项目", "归档", "合同", "报告", "会议纪要", "扫描件"]
FILE_WORDS = ["report", "invoice", "budget", "minutes", "offer", "contract", "scan", "letter",
              "plan", "summary", "报价单", "发票", "预算", "会议记录", "合同", "说明"]
EXTENSIONS = [".docx", ".xlsx", ".pdf", ".pptx", ".txt", ".jpg", ".msg", ".csv", ".zip", ".doc", ".xls"]


def _mean_size(bias):
    """Mean of SMALLEST * (LARGEST_SMALL / SMALLEST) ** (u ** bias) for u uniform in [0, 1]."""
    steps = 4000
    ratio = LARGEST_SMALL / SMALLEST
    return sum(SMALLEST * ratio ** (((i + 0.5) / steps) ** bias) for i in range(steps)) / steps


def _bias_for_mean(mean):
    """The skew that gives small files of this mean size: most files small, a few near 4 MiB."""
    low, high = 0.01, 200.0
    for _ in range(50):
        middle = (low * high) ** 0.5
        if _mean_size(middle) > mean:
            low = middle
        else:
            high = middle
    return (low * high) ** 0.5


def plan(seed, files, size_mib):
    """Folders, small files and large files of a tree, as relative paths and sizes."""
    rng = random.Random(seed)
    total = size_mib * MIB
    large_total = total // 2
    small_total = total - large_total
    bias = _bias_for_mean(max(SMALLEST, small_total / max(1, files)))

    folders = [""]
    depth = {"": 0}
    for index in range(max(1, files // 25)):
        parent = rng.choice(folders if rng.random() < 0.5 else folders[:8])
        if depth[parent] >= 6:
            parent = ""
        name = "%s %02d" % (rng.choice(FOLDER_WORDS), index % 100)
        path = os.path.join(parent, name) if parent else name
        if path in depth:
            continue
        folders.append(path)
        depth[path] = depth[parent] + 1

    names = []
    sizes = []
    ratio = LARGEST_SMALL / SMALLEST
    for index in range(files):
        folder = rng.choice(folders)
        name = "%s_%05d%s" % (rng.choice(FILE_WORDS), index, rng.choice(EXTENSIONS))
        names.append(os.path.join(folder, name) if folder else name)
        sizes.append(SMALLEST * ratio ** (rng.random() ** bias))
    # A few files near 4 MiB sway a small tree's total far from its mean: scale to the total.
    for _ in range(4):
        scale = small_total / sum(sizes)
        sizes = [min(LARGEST_SMALL, max(SMALLEST, size * scale)) for size in sizes]
    small = [(name, int(size)) for name, size in zip(names, sizes)]

    large = []
    for index, share in enumerate(LARGE_SHARES):
        large.append(("disk-image-%d.vhd" % index if index % 2 == 0 else "video-%d.mp4" % index,
                      max(MIB, int(large_total * share) // MIB * MIB)))
    return {"seed": seed, "files": files, "size_mib": size_mib,
            "folders": folders[1:], "small": small, "large": large}


SHARE_FOLDER_WORDS = ["Documents", "Finance", "HR", "Projects", "Archive", "Sales", "Contracts",
                      "Reports", "Minutes", "Scans", "Templates", "Clients", "Suppliers", "Old",
                      "财务部", "人事档案", "项目资料", "归档", "合同扫描", "年度报告", "会议纪要",
                      "客户资料", "供应商", "规章制度", "培训", "备份"]
SHARE_SMALLEST = 1024
SHARE_LARGEST_SMALL = 100 * 1024
SHARE_LARGEST = 4 * MIB
SHARE_TAIL = 0.012  # of the files, log-uniform above SHARE_LARGEST_SMALL
SHARE_DEPTH = 10
SHARE_DEEP_CHAINS = (8, 9, 10)  # lengths of folder chains that reach that deep for certain


def plan_share(seed, files, folders):
    """A file share of small documents: `files` files in `folders` folders, mostly 1-100 KB
    (log-uniform, so most are a few KB to some tens of KB), a thin tail up to 4 MiB, folders
    from flat to SHARE_DEPTH levels deep, English and Chinese names."""
    rng = random.Random(seed * 104729 + 13)
    paths = [""]
    depth = {"": 0}
    used = set()

    def add(parent):
        for attempt in range(100):
            name = "%s %d" % (rng.choice(SHARE_FOLDER_WORDS), rng.randrange(1, 100 if attempt < 50 else 100000))
            path = os.path.join(parent, name) if parent else name
            if path.lower() not in used:
                used.add(path.lower())
                paths.append(path)
                depth[path] = depth[parent] + 1
                return path
        return None

    for length in SHARE_DEEP_CHAINS:
        parent = ""
        for _ in range(length):
            parent = add(parent)
    while len(paths) <= folders:
        # Most folders hang near the top, as departments and years; the rest anywhere.
        shallow = [p for p in paths[-400:] if depth[p] < 3] or [""]
        parent = rng.choice(shallow if rng.random() < 0.4 else paths)
        if depth[parent] >= SHARE_DEPTH:
            parent = ""
        add(parent)

    small = []
    low, high = math.log(SHARE_SMALLEST), math.log(SHARE_LARGEST_SMALL)
    for index in range(files):
        folder = rng.choice(paths)
        stem = rng.choice(FILE_WORDS)
        name = ("%s_%05d%s" if rng.random() < 0.5 else "%s %05d%s") % (stem, index, rng.choice(EXTENSIONS))
        if rng.random() < SHARE_TAIL:
            size = math.exp(rng.uniform(high, math.log(SHARE_LARGEST)))
        else:
            size = math.exp(rng.uniform(low, high))
        small.append((os.path.join(folder, name) if folder else name, int(size)))
    return {"seed": seed, "files": files, "folders": paths[1:], "small": small, "large": [], "kind": "share"}


FOLDERS_GROUP_WORDS = ["Clients", "Projects", "Tenders", "Staff", "Properties", "Cases",
                       "客户", "项目", "投标", "员工档案", "物业", "案卷"]
FOLDERS_LEAF_WORDS = ["Offer", "Contract", "Invoices", "Drawings", "Correspondence", "Minutes",
                      "报价", "合同", "发票", "图纸", "往来函件", "会议纪要"]
FOLDERS_SMALLEST = 10 * 1024
FOLDERS_LARGEST = 200 * 1024


def plan_folders(seed, files):
    """Document folders the way offices keep them: a folder per client, project or case, each
    with a few subfolders, and every folder that holds files holding 2 to 5 documents of
    10-200 KB (log-uniform)."""
    rng = random.Random(seed * 15485863 + 29)
    folders = []
    small = []
    low, high = math.log(FOLDERS_SMALLEST), math.log(FOLDERS_LARGEST)
    group_count = max(1, round(math.sqrt(files) / 4))
    groups = ["%s %02d" % (FOLDERS_GROUP_WORDS[i % len(FOLDERS_GROUP_WORDS)], i) for i in range(group_count)]
    folders += groups
    index = 0
    while len(small) < files:
        owner = os.path.join(rng.choice(groups), "%04d %s" % (index, rng.choice(FILE_WORDS)))
        folders.append(owner)
        leaves = [owner] + [os.path.join(owner, word) for word in rng.sample(FOLDERS_LEAF_WORDS, rng.randint(0, 3))]
        folders += leaves[1:]
        for leaf in leaves:
            for _ in range(min(rng.randint(2, 5), max(2, files - len(small)))):
                name = "%s_%05d%s" % (rng.choice(FILE_WORDS), len(small), rng.choice(EXTENSIONS))
                small.append((os.path.join(leaf, name), int(math.exp(rng.uniform(low, high)))))
        index += 1
    return {"seed": seed, "files": files, "folders": folders, "small": small, "large": [], "kind": "folders"}


def write_pair(root, mib, seed=1):
    """root/source/pair.bin of `mib` MiB, root/same/pair.bin equal to it and root/old/pair.bin
    of the same size differing in one byte in the middle: the unchanged and the changed large
    file. Made again only when missing or of another size."""
    source = os.path.join(root, "source", "pair.bin")
    want = mib * MIB
    if all(os.path.exists(os.path.join(root, side, "pair.bin")) and
           os.path.getsize(os.path.join(root, side, "pair.bin")) == want for side in ("source", "same", "old")):
        return
    rng = random.Random(seed * 104723 + 3)
    pool = memoryview(rng.randbytes(POOL_SIZE))
    for side in ("source", "same", "old"):
        os.makedirs(os.path.join(root, side), exist_ok=True)
    _write(source, want, 2000000, pool, rng)
    for side in ("same", "old"):
        with open(source, "rb") as given, open(os.path.join(root, side, "pair.bin"), "wb") as out:
            while True:
                piece = given.read(16 * MIB)
                if not piece:
                    break
                out.write(piece)
    with open(os.path.join(root, "old", "pair.bin"), "r+b") as old:
        old.seek(want // 2)
        byte = old.read(1)
        old.seek(want // 2)
        old.write(bytes([byte[0] ^ 0xFF]))


def _write(path, size, stamp, pool, rng):
    """Writes `size` bytes cut from the pool, each 4 MiB piece stamped so no two files agree."""
    with open(path, "wb") as out:
        written = 0
        piece = 0
        while written < size:
            length = min(4 * MIB, size - written)
            head = ("%d:%d;" % (stamp, piece)).encode()[:length]
            out.write(head)
            start = rng.randrange(0, POOL_SIZE - length)
            out.write(pool[start:start + length - len(head)])
            written += length
            piece += 1


def generate(root, layout):
    """Makes root/office (folders and small files) and root/large (the large files); for a
    share or a folders layout, root/share or root/folders alone."""
    rng = random.Random(layout["seed"] * 7919 + 1)
    pool = memoryview(rng.randbytes(POOL_SIZE))
    kind = layout.get("kind")
    share = kind in ("share", "folders")
    office = os.path.join(root, kind if share else "office")
    large = os.path.join(root, "large")
    os.makedirs(office, exist_ok=True)
    if not share:
        os.makedirs(large, exist_ok=True)
    for folder in layout["folders"]:
        os.makedirs(os.path.join(office, folder), exist_ok=True)
    for stamp, (relative, size) in enumerate(layout["small"]):
        _write(os.path.join(office, relative), size, stamp, pool, rng)
    for stamp, (relative, size) in enumerate(layout["large"]):
        _write(os.path.join(large, relative), size, 1000000 + stamp, pool, rng)
    with open(os.path.join(root, "layout.json"), "w") as out:
        json.dump(_identity(layout), out)


def _identity(layout):
    identity = {key: layout[key] for key in ("seed", "files", "size_mib", "kind") if key in layout}
    identity["folders"] = len(layout["folders"])
    identity["version"] = VERSION
    return identity


def generated_as(root, layout):
    """True when root already holds the tree of this seed, count and size."""
    try:
        with open(os.path.join(root, "layout.json")) as given:
            return json.load(given) == _identity(layout)
    except (OSError, ValueError):
        return False


def changed_files(layout, share=0.01):
    """The small files a "1 % changed" run edits: half keep their size, half grow."""
    rng = random.Random(layout["seed"] * 31 + 7)
    count = max(2, round(len(layout["small"]) * share))
    chosen = rng.sample(range(len(layout["small"])), count)
    return [(layout["small"][i][0], position % 2 == 0) for position, i in enumerate(sorted(chosen))]


def apply_changes(office_root, changes):
    """Edits the chosen files under office_root; the pass under test puts them back."""
    for relative, same_size in changes:
        path = os.path.join(office_root, relative)
        with open(path, "r+b") as file:
            if same_size:
                file.seek(os.path.getsize(path) // 2)
                byte = file.read(1)
                file.seek(-1, os.SEEK_CUR)
                file.write(bytes([byte[0] ^ 0xFF]))
            else:
                file.seek(0, os.SEEK_END)
                file.write(b"edited " * 16)


def copy_folders(source, target):
    """Makes every folder of source under target, and no file."""
    for folder, _, _ in os.walk(source):
        os.makedirs(os.path.join(target, os.path.relpath(folder, source)), exist_ok=True)


def remove_files(root):
    """Removes every file under root and keeps the folders."""
    for folder, _, names in os.walk(root):
        for name in names:
            os.unlink(os.path.join(folder, name))

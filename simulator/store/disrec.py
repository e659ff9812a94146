"""The configuration summary "disrec.ini" that the backup side saves in the QERNCFG folder."""


def sections(opts):
    """opts: client, client_version, efi (bool), and the variants: windows_letter, gpt_no_efi,
    boot_partition, core, x86, computer_name. A list of (section, [(key, value)]) in file order."""
    win = opts.get("windows_letter") or "C"
    major_minor_sp = ".".join(opts["client_version"].split(".")[:3])
    windir = [("OSVersion", "10"), ("OSisCore", "1" if opts.get("core") else "0"),
              ("OSArchitecture", "x86" if opts.get("x86") else "AMD64"), ("DriveLetter", win),
              ("PhysicalDrive", "0"), ("Directory", "\\Windows")]
    if opts.get("efi") or opts.get("gpt_no_efi"):
        # GPT: partition 1 is the EFI system partition, 2 the reserved one, 3 Windows.
        efi = "" if opts.get("gpt_no_efi") else "S"
        windir += [("BootDriveLetter", ""), ("BootPartition", "1"), ("EFIDriveLetter", efi)]
        disk0 = [("PartitionStyle", "1"), ("DriveLetter1", efi), ("DriveLetter2", ""), ("DriveLetter3", win)]
    elif opts.get("boot_partition"):
        # No boot letter: the system volume is found through its partition number (a lower-case
        # letter there, as the backup side may write it).
        windir += [("BootDriveLetter", ""), ("BootPartition", "2"), ("EFIDriveLetter", "")]
        disk0 = [("PartitionStyle", "0"), ("DriveLetter1", ""), ("DriveLetter2", win.lower())]
    else:
        windir += [("BootDriveLetter", win), ("BootPartition", "1"), ("EFIDriveLetter", "")]
        disk0 = [("PartitionStyle", "0"), ("DriveLetter1", win)]
    volumes = [(win, "NTFS"), ("D", "NTFS")] if win != "D" else [("D", "NTFS")]
    if opts.get("efi"):
        volumes.append(("S", "FAT32"))
    return [("Main", [("NwClientVersion", major_minor_sp), ("UserEditCfg", "0")]),
            ("WinDir", windir), ("PhysicalDrive0", disk0),
            ("PhysicalDrive1", [("PartitionStyle", "0"), ("DriveLetter1", "D")]),
            ("ComputerName", [("ComputerName", opts.get("computer_name") or opts["client"].upper())]),
            ("Volume Info", volumes)]


def edit(secs, omit=(), assign=()):
    """omit: "Section/Key" (or "Section" for a whole section) to leave out; assign: ("Section/Key",
    value) to set, added at the end of the section (or as a new section) when absent."""
    out = [(name, list(keys)) for name, keys in secs]
    for path, value in assign:
        section, key = path.split("/", 1)
        target = next((keys for name, keys in out if name.lower() == section.lower()), None)
        if target is None:
            target = []
            out.append((section, target))
        for i, (k, _) in enumerate(target):
            if k.lower() == key.lower():
                target[i] = (k, value)
                break
        else:
            target.append((key, value))
    for path in omit:
        section, _, key = path.partition("/")
        if not key:
            out = [(n, k) for n, k in out if n.lower() != section.lower()]
            continue
        out = [(n, [(k, v) for k, v in keys if not (n.lower() == section.lower() and k.lower() == key.lower())])
               for n, keys in out]
    return out


def render(opts):
    lines = []
    for name, keys in edit(sections(opts), opts.get("omit", ()), opts.get("assign", ())):
        if lines:
            lines.append("")
        lines.append("[%s]" % name)
        lines += ["%s=%s" % kv for kv in keys]
    return "\r\n".join(lines) + "\r\n"

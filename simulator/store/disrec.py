"""The configuration summary "disrec.ini" that the backup side saves in the QERNCFG folder."""


def render(opts):
    """opts: client, client_version, efi (bool). Every section and key the restore side reads."""
    major_minor_sp = ".".join(opts["client_version"].split(".")[:3])
    lines = ["[Main]", "NwClientVersion=%s" % major_minor_sp, "UserEditCfg=0", "",
             "[WinDir]", "OSVersion=10", "OSisCore=0", "OSArchitecture=AMD64", "DriveLetter=C",
             "PhysicalDrive=0", "Directory=\\Windows"]
    if opts.get("efi"):
        lines += ["BootDriveLetter=", "BootPartition=1", "EFIDriveLetter=S", "",
                  "[PhysicalDrive0]", "PartitionStyle=1", "DriveLetter1=S", "DriveLetter2=", "DriveLetter3=C", ""]
    else:
        lines += ["BootDriveLetter=C", "BootPartition=1", "EFIDriveLetter=", "",
                  "[PhysicalDrive0]", "PartitionStyle=0", "DriveLetter1=C", ""]
    lines += ["[PhysicalDrive1]", "PartitionStyle=0", "DriveLetter1=D", "",
              "[ComputerName]", "ComputerName=%s" % opts["client"].upper(), "",
              "[Volume Info]", "C=NTFS", "D=NTFS"]
    if opts.get("efi"):
        lines.append("S=FAT32")
    return "\r\n".join(lines) + "\r\n"
